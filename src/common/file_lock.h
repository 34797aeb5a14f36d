#pragma once
// An exclusive lock on a lock file, so that changes to one file by several
// processes at once happen one after the other. The operating system holds
// the lock (flock on POSIX systems, LockFileEx on Windows) and drops it when
// its holder ends in whatever way, so a killed holder never leaves a stale
// lock behind. The lock file itself stays: removing it would let a process
// that opened the old file and one that creates a new file both hold "the"
// lock.

#include <string>

#include "common/stop_flag.h"

/// A held lock; dropped when the guard ends.
struct FileLock {
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  /// Opens or creates the lock file at path and takes its lock, waiting up
  /// to waitMilliseconds while another holder has it, and no longer once a
  /// given stop flag asks to stop at once. Returns 0, or -1 with errno set
  /// (EWOULDBLOCK when the wait ran out or was cut).
  int acquire(const std::string& path, int waitMilliseconds, const StopFlag* stop = nullptr);
  /// True while the lock is held.
  bool held() const;
  /// Drops the lock; harmless when none is held.
  void release();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};
