# What `cmake --install` puts where, and the packages CPack makes of it
# (make package): a ZIP of the Windows cross build, where the program runs in
# production, and a Debian package of the Linux build.
include(GNUInstallDirs)

if(WIN32)
  # One folder to unpack beside the settings file: programs, README, schema
  # and an example settings file side by side.
  set(DULMAR_INSTALL_BINDIR .)
  set(DULMAR_INSTALL_DOCDIR .)
  set(DULMAR_INSTALL_EXAMPLEDIR examples)
  set(DULMAR_INSTALL_SQLDIR sql)
else()
  set(DULMAR_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(DULMAR_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(DULMAR_INSTALL_EXAMPLEDIR ${CMAKE_INSTALL_DOCDIR}/examples)
  set(DULMAR_INSTALL_SQLDIR ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME})
endif()

install(TARGETS dulmar dulmar-ini RUNTIME DESTINATION ${DULMAR_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${DULMAR_INSTALL_DOCDIR})
install(FILES sql/schema.sql DESTINATION ${DULMAR_INSTALL_SQLDIR})
install(FILES examples/KORVANDEL.INI examples/bookings.txt DESTINATION ${DULMAR_INSTALL_EXAMPLEDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "dulmar")
set(CPACK_PACKAGE_CONTACT "dulmar maintainers <dulmar@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stores cost-centre change bookings in the time-and-attendance database over ODBC")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  # The driver manager is what the program links; the SQL Server driver is
  # what a real installation talks through, but any ODBC driver will do.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc")
  # The C and C++ runtime libraries, as the binaries need them.
  find_program(DULMAR_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DULMAR_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
