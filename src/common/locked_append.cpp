#include "common/locked_append.h"

#include <cerrno>
#include <cstdio>

namespace {
/// How much of the file's end is read at a time when looking for the last
/// line end.
constexpr long kTailChunk = 4096;

/// The length of file's content up to and including its last line feed.
/// Returns it, or -1 when the file cannot be read.
long lengthThroughLastLineEnd(FILE* file, long size) {
  char chunk[kTailChunk];
  for (long end = size; end > 0;) {
    const long start = end > kTailChunk ? end - kTailChunk : 0;
    if (std::fseek(file, start, SEEK_SET) != 0) return -1;
    const size_t want = static_cast<size_t>(end - start);
    if (std::fread(chunk, 1, want, file) != want) return -1;
    for (long i = end - start; i > 0; --i)
      if (chunk[i - 1] == '\n') return start + i;
    end = start;
  }
  return 0;
}
}  // namespace

int checkAppendable(const char* path) {
  FILE* file = openWithoutWaiting(path, "ab");
  if (file == nullptr) return -1;
  return std::fclose(file) == 0 ? 0 : -1;
}

int takeAppendTurn(FileLock& lock, const std::string& path, int waitMilliseconds,
                   const StopFlag* stop, void (*onWait)(void*), void* context) {
  std::string lockPath;
  try {
    lockPath = path + ".lock";
  } catch (...) {
    return -1;
  }
  if (lock.acquire(lockPath, 0) == 0) return 0;
  if (errno != EWOULDBLOCK) return -1;
  if (onWait != nullptr) onWait(context);
  return lock.acquire(lockPath, waitMilliseconds, stop) == 0 ? 1 : -1;
}

long removeTornLine(const std::string& path) {
  if (checkAppendable(path.c_str()) != 0) return -1;  // creates a missing file
  FILE* file = openWithoutWaiting(path.c_str(), "r+b");
  if (file == nullptr) return -1;
  long removed = -1;
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0 && (size = std::ftell(file)) >= 0) {
    const long keep = lengthThroughLastLineEnd(file, size);
    if (keep >= 0 && (keep == size || cutFileTo(file, keep) == 0)) removed = size - keep;
  }
  if (std::fclose(file) != 0) removed = -1;
  return removed;
}

int appendWhole(const std::string& path, std::string_view bytes, AppendReport& report, WriteBytes write) {
  report.tornBytes = 0;
  // Without the turn another run may be writing its last line right now:
  // what looks torn may be its line in the making.
  if (!report.withoutLock) {
    const long torn = removeTornLine(path);
    if (torn < 0) return -1;
    report.tornBytes = torn;
  }
  // AppendFile measures the length at open, under the turn: a failed write
  // cuts back this run's bytes and nothing another run wrote.
  AppendFile file(write);
  if (file.open(path.c_str()) != 0) return -1;
  if (file.append(bytes) != 0) return -1;
  return file.close();
}
