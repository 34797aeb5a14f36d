#include "common/locked_append.h"

#include <cerrno>
#include <cstdio>

namespace {
/// How much of the file's end is read at a time when looking for the last
/// line end.
constexpr long kTailChunk = 4096;
/// Longest last line without its line end that is looked at as a possible
/// whole line; the program's own lines have 40 characters.
constexpr size_t kLongestMendedLine = 256;
/// Windows' end-of-file mark in text mode.
constexpr char kCtrlZ = 0x1A;

/// The length of file's first size bytes up to and including the last byte
/// that ends, per ends, the part to keep. Returns it, 0 when no byte does, or
/// -1 when the file cannot be read.
long lengthThroughLast(FILE* file, long size, bool (*ends)(char)) {
  char chunk[kTailChunk];
  for (long end = size; end > 0;) {
    const long start = end > kTailChunk ? end - kTailChunk : 0;
    if (std::fseek(file, start, SEEK_SET) != 0) return -1;
    const size_t want = static_cast<size_t>(end - start);
    if (std::fread(chunk, 1, want, file) != want) return -1;
    for (long i = end - start; i > 0; --i)
      if (ends(chunk[i - 1])) return start + i;
    end = start;
  }
  return 0;
}

bool isLineFeed(char c) { return c == '\n'; }
bool isNoEndMark(char c) { return c != kCtrlZ; }

/// Completes the last line of file, bytes [start, end), with its line end
/// when wholeLine says it is whole. Returns 1 when it did, 0 when the line is
/// not whole, or -1 when it could not (the file then is cut back to end).
int addLineEnd(FILE* file, long start, long end, WholeLine wholeLine) {
  if (wholeLine == nullptr || end - start > static_cast<long>(kLongestMendedLine)) return 0;
  char line[kLongestMendedLine];
  const size_t length = static_cast<size_t>(end - start);
  if (std::fseek(file, start, SEEK_SET) != 0 || std::fread(line, 1, length, file) != length) return -1;
  // A run killed between CR and LF left the CR.
  const bool hasCr = length > 0 && line[length - 1] == '\r';
  if (!wholeLine(std::string_view(line, hasCr ? length - 1 : length))) return 0;
  const char* lineEnd = hasCr ? "\n" : "\r\n";
  const size_t n = hasCr ? 1 : 2;
  if (std::fseek(file, end, SEEK_SET) == 0 && std::fwrite(lineEnd, 1, n, file) == n && std::fflush(file) == 0) return 1;
  cutFileTo(file, end);
  return -1;
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

int mendLastLine(const std::string& path, WholeLine wholeLine, AppendReport& report) {
  report.tornBytes = 0;
  report.lineEndAdded = false;
  report.endMarks = 0;
  if (checkAppendable(path.c_str()) != 0) return -1;  // creates a missing file
  FILE* file = openWithoutWaiting(path.c_str(), "r+b");
  if (file == nullptr) return -1;
  // Unbuffered: a line end that cannot be written must not wait in a buffer
  // for the close to write it behind the cut.
  std::setvbuf(file, nullptr, _IONBF, 0);
  int result = -1;
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0 && (size = std::ftell(file)) >= 0) {
    const long end = lengthThroughLast(file, size, isNoEndMark);
    const long keep = end < 0 ? -1 : lengthThroughLast(file, end, isLineFeed);
    if (keep >= 0 && (end == size || cutFileTo(file, end) == 0)) {
      report.endMarks = size - end;
      const int added = keep == end ? 0 : addLineEnd(file, keep, end, wholeLine);
      report.lineEndAdded = added == 1;
      if (added == 1 || keep == end) {
        result = 0;
      } else if (added == 0 && cutFileTo(file, keep) == 0) {
        report.tornBytes = end - keep;
        result = 0;
      }
    }
  }
  if (std::fclose(file) != 0) result = -1;
  return result;
}

int appendWhole(const std::string& path, std::string_view bytes, AppendReport& report, WholeLine wholeLine,
                WriteBytes write) {
  report.tornBytes = 0;
  report.lineEndAdded = false;
  report.endMarks = 0;
  // Without the turn another run may be writing its last line right now:
  // what looks torn may be its line in the making.
  if (!report.withoutLock && mendLastLine(path, wholeLine, report) != 0) return -1;
  // AppendFile measures the length at open, under the turn and after the
  // mending: a failed write cuts back this run's bytes and nothing else.
  AppendFile file(write);
  if (file.open(path.c_str()) != 0) return -1;
  if (file.append(bytes) != 0) return -1;
  return file.close();
}

int appendInTurn(const std::string& path, std::string_view bytes, int waitMilliseconds, bool anyway,
                 const StopFlag* stop, void (*onWait)(void*), void* context, WholeLine wholeLine, AppendReport& report,
                 WriteBytes write) {
  FileLock turn;
  report.withoutLock = false;
  if (takeAppendTurn(turn, path, waitMilliseconds, stop, onWait, context) < 0) {
    if (!anyway && !stopAtOnce(stop)) return -1;
    report.withoutLock = true;
  }
  // The turn is held until the file is closed, mended and written.
  return appendWhole(path, bytes, report, wholeLine, write);
}
