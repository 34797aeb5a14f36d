# Cross-compiles the Windows program on Linux with mingw-w64 (Debian package
# g++-mingw-w64-x86-64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DULMAR_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: the win32 variant of Debian's compiler lacks the
# std::thread and std::mutex headers that GoogleTest includes.
find_program(CMAKE_C_COMPILER NAMES ${DULMAR_MINGW_PREFIX}-gcc-posix ${DULMAR_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${DULMAR_MINGW_PREFIX}-g++-posix ${DULMAR_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${DULMAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DULMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread linked in, so the .exe files run on a
# machine without any MinGW DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The MinGW headers otherwise route printf to msvcrt, which knows neither %zu
# nor %lld; this selects MinGW's own C99-conforming printf family.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# Test programs are Windows executables: run them through wine when present.
find_program(DULMAR_WINE NAMES wine64 wine)
if(DULMAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DULMAR_WINE})
endif()
