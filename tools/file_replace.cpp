#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
#ifdef _WIN32
int openNew(const char* path) {
  return _open(path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
               _S_IREAD | _S_IWRITE);
}
int writeSome(int fd, const char* p, size_t n) {
  return _write(fd, p, n > INT_MAX ? INT_MAX : static_cast<unsigned>(n));
}
int syncFile(int fd) { return _commit(fd); }
int closeFile(int fd) { return _close(fd); }
int processId() { return _getpid(); }
#else
int openNew(const char* path) {
  // Owner only until the target's permissions are copied: the content is a
  // settings file that holds passwords.
  return open(path, O_CREAT | O_EXCL | O_WRONLY, 0600);
}
ssize_t writeSome(int fd, const char* p, size_t n) { return ::write(fd, p, n); }
int syncFile(int fd) { return fsync(fd); }
int closeFile(int fd) { return close(fd); }
int processId() { return static_cast<int>(getpid()); }

/// Makes the rename itself durable; a failure here does not undo it.
void syncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = open(folder.c_str(), O_RDONLY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}
#endif

/// Replaces a symbolic link by the file it names, so that the link stays.
std::string resolvedTarget(const char* target) {
#ifndef _WIN32
  struct stat info;
  if (lstat(target, &info) == 0 && S_ISLNK(info.st_mode)) {
    char* real = realpath(target, nullptr);
    if (real != nullptr) {
      std::string out = real;
      std::free(real);
      return out;
    }
  }
#endif
  return target;
}
}  // namespace

int readWholeFile(const char* path, std::string& bytes) {
  bytes.clear();
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -1;
  char chunk[16384];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  const bool failed = std::ferror(file) != 0;
  const int savedErrno = errno;
  std::fclose(file);
  if (failed) {
    errno = savedErrno != 0 ? savedErrno : EIO;
    bytes.clear();
    return -1;
  }
  return 0;
}

int ReplacementFile::write(const char* target, std::string_view bytes) {
  discard();
  target_ = resolvedTarget(target);
  int fd = -1;
  // Another run at the same moment gets another name; a stale file of a
  // crashed run is never reused.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = target_ + "." + std::to_string(processId()) + "-" +
            std::to_string(attempt) + ".tmp";
    fd = openNew(temp_.c_str());
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int savedErrno = errno;
    temp_.clear();
    errno = savedErrno;
    return -1;
  }

  bool ok = true;
#ifndef _WIN32
  // The replacement keeps the target's permissions and, where allowed, its
  // owner. Both are best effort: where they cannot be set (some mounted
  // file systems), the file stays readable by its writer only.
  struct stat info;
  if (stat(target_.c_str(), &info) == 0) {
    if (fchmod(fd, info.st_mode & 07777) != 0) { /* stays 0600 */ }
    if (fchown(fd, info.st_uid, info.st_gid) != 0) { /* stays the writer's */ }
  }
#endif
  for (size_t done = 0; ok && done < bytes.size();) {
    const auto n = writeSome(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      if (n == 0) errno = EIO;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && syncFile(fd) != 0) ok = false;
  const int savedErrno = errno;
  if (closeFile(fd) != 0 && ok) ok = false;
  if (!ok) {
    const int reportErrno = errno != 0 ? errno : savedErrno;
    discard();
    errno = reportErrno;
    return -1;
  }
  return 0;
}

int ReplacementFile::commit() {
  if (temp_.empty()) {
    errno = ENOENT;
    return -1;
  }
#ifdef _WIN32
  // rename() fails on Windows when the target exists; this replaces it.
  const bool ok = MoveFileExA(temp_.c_str(), target_.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) errno = EACCES;
#else
  const bool ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
#endif
  if (!ok) {
    const int savedErrno = errno;
    discard();
    errno = savedErrno;
    return -1;
  }
#ifndef _WIN32
  syncFolderOf(target_);
#endif
  temp_.clear();
  return 0;
}

void ReplacementFile::discard() {
  if (temp_.empty()) return;
  std::remove(temp_.c_str());
  temp_.clear();
}
