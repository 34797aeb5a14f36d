#include "common/file_lock.h"

#include <cerrno>

#include "common/stop_flag.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
/// How often a waiting process tries again.
constexpr int kRetryMilliseconds = 10;
}  // namespace

#ifdef _WIN32
int FileLock::acquire(const std::string& path, int waitMilliseconds, const StopFlag* stop) {
  release();
  // Every kind of sharing: the lock is the byte range below, not the open.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return -1;
  }
  for (int waited = 0;; waited += kRetryMilliseconds) {
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      handle_ = file;
      return 0;
    }
    const DWORD why = GetLastError();
    if (why != ERROR_LOCK_VIOLATION || waited >= waitMilliseconds || stopAtOnce(stop)) {
      CloseHandle(file);
      errno = why == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : EACCES;
      return -1;
    }
    Sleep(kRetryMilliseconds);
  }
}

bool FileLock::held() const { return handle_ != nullptr; }

void FileLock::release() {
  if (handle_ == nullptr) return;
  OVERLAPPED at{};
  // Closing alone drops the lock only "when resources allow"; unlocking
  // first lets the next process in at once.
  UnlockFileEx(handle_, 0, 1, 0, &at);
  CloseHandle(handle_);
  handle_ = nullptr;
}
#else
int FileLock::acquire(const std::string& path, int waitMilliseconds, const StopFlag* stop) {
  release();
  // Read access suffices for flock, so another user who may read the lock
  // file may lock it too. No link is followed, and O_NONBLOCK keeps a FIFO
  // put in its place from blocking the open.
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  for (int waited = 0;; waited += kRetryMilliseconds) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || waited >= waitMilliseconds || stopAtOnce(stop)) {
      const int savedErrno = errno;
      close(fd);
      errno = savedErrno;
      return -1;
    }
    usleep(kRetryMilliseconds * 1000);
  }
}

bool FileLock::held() const { return fd_ >= 0; }

void FileLock::release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}
#endif
