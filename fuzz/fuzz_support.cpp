#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

FILE* memoryFile(const uint8_t* data, size_t size) {
  // Read only: the cast merely meets fmemopen's signature. An empty input may
  // come without a buffer, which fmemopen would take as a request for one.
  static char empty[1];
  void* bytes = size > 0 ? const_cast<uint8_t*>(data) : static_cast<void*>(empty);
  FILE* file = fmemopen(bytes, size, "rb");
  require(file != nullptr, "memory stream opens");
  // Unbuffered: the readers under test keep buffers of their own, and a
  // stream buffer would be one more allocation per input.
  require(setvbuf(file, nullptr, _IONBF, 0) == 0, "memory stream unbuffered");
  return file;
}

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

void silenceStandardOutput() { require(std::freopen("/dev/null", "w", stdout) != nullptr, "stdout to /dev/null"); }
