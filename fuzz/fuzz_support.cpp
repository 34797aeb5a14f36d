#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
/// Scratch files of this process, removed when it exits.
constexpr int kMaxScratchFiles = 4;
const char* scratchFiles[kMaxScratchFiles];
int scratchFileCount = 0;

void removeScratchFiles() {
  for (int i = 0; i < scratchFileCount; ++i) std::remove(scratchFiles[i]);
}
}  // namespace

const char* scratchPath(char (&path)[kScratchPathCapacity], const char* name) {
  // Memory-backed /dev/shm where there is one: a fuzz run writes its input
  // tens of thousands of times, and a disk makes that the slowest part.
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] == '\0') folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  int n = std::snprintf(path, sizeof path, "%s/dulmar-fuzz-%ld-%s", folder, static_cast<long>(getpid()), name);
  require(n > 0 && static_cast<size_t>(n) < sizeof path, "scratch path fits");
  require(scratchFileCount < kMaxScratchFiles, "few scratch files");
  if (scratchFileCount == 0) std::atexit(removeScratchFiles);
  scratchFiles[scratchFileCount++] = path;
  return path;
}

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
