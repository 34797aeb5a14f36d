#pragma once
// A file that a run appends to in one piece: it is opened before the run
// changes anything elsewhere, so a bad path stops the run early, and a write
// or close that fails cuts the file back to its length before the run, so
// no partial line is ever left for the next run to append onto.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

/// Writes n bytes of data to file. Returns the count written. The default is
/// fwrite; tests give one that fails part way.
using WriteBytes = size_t (*)(const char* data, size_t n, FILE* file);

/// Cuts the open file to length bytes. Returns 0, or -1.
int cutFileTo(FILE* file, long length);

/// Opens path with mode "ab" (created when missing) or "r+b" without waiting
/// for anything: a named pipe nobody reads fails at once instead of holding
/// the run for ever. Returns the file, or nullptr.
FILE* openWithoutWaiting(const char* path, const char* mode);

/// A file opened for appending, written whole or not at all.
class AppendFile {
 public:
  explicit AppendFile(WriteBytes write = nullptr);
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  /// Closes the file, leaving it as the last append left it.
  ~AppendFile();

  /// Opens path for appending, creating it when missing, and notes its
  /// length. Returns 0, or -1 when it cannot be opened.
  int open(const char* path);
  /// Appends bytes in one write and flushes them. Returns 0, or -1 after
  /// cutting the file back to its length at open (or when it is not open).
  int append(std::string_view bytes);
  /// Closes the file. Returns 0, or -1 (the file cut back to its length at
  /// open) when the close failed or an append had failed.
  int close();

 private:
  /// Cuts the file back to the length it had at open. Returns 0, or -1.
  int cutBack();

  WriteBytes write_;
  FILE* file_ = nullptr;
  std::string path_;
  long startLength_ = 0;
  bool failed_ = false;
};
