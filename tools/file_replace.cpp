#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
/// Marks the temporary files of replacements: TARGET.dulmar-ini-PID-N.tmp.
constexpr char kTempMark[] = ".dulmar-ini-";
constexpr char kTempEnd[] = ".tmp";

/// True when name is prefix, a run of digits and "-", and kTempEnd.
bool isTemporaryName(const std::string& name, const std::string& prefix) {
  const size_t endLength = sizeof kTempEnd - 1;
  if (name.size() <= prefix.size() + endLength || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - endLength, endLength, kTempEnd) != 0)
    return false;
  const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - endLength);
  return middle.find_first_not_of("0123456789-") == std::string::npos;
}

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

}  // namespace

std::string replacementTarget(const char* path) {
  // A link stays a link: what it names is replaced.
#ifndef _WIN32
  struct stat info;
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    char* real = realpath(path, nullptr);
    if (real != nullptr) {
      std::string out = real;
      std::free(real);
      return out;
    }
  }
#endif
  return path;
}

TargetKind inspectTarget(const char* path) {
#ifdef _WIN32
  // A device name (NUL, CON, COM1, ...) opens as a character device
  // wherever it stands, and _stat may call it missing.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    if (type != FILE_TYPE_DISK) return TargetKind::notRegular;
  }
  struct _stat64 info;
  if (_stat64(path, &info) != 0) return errno == ENOENT ? TargetKind::missing : TargetKind::unknown;
  if ((info.st_mode & _S_IFMT) != _S_IFREG) return TargetKind::notRegular;
  // _S_IWRITE is missing for a file with the read-only attribute.
  if ((info.st_mode & _S_IWRITE) == 0 || _access(path, 2) != 0) return TargetKind::readOnly;
  return TargetKind::writable;
#else
  struct stat link;
  if (lstat(path, &link) != 0) return errno == ENOENT ? TargetKind::missing : TargetKind::unknown;
  struct stat info;
  if (stat(path, &info) != 0) {
    return S_ISLNK(link.st_mode) && errno == ENOENT ? TargetKind::danglingLink : TargetKind::unknown;
  }
  if (!S_ISREG(info.st_mode)) return TargetKind::notRegular;
  // access() answers for the caller, and for the superuser always yes; the
  // permission bits answer what the file's owner meant, for everyone. A
  // rename needs neither, which is why both are asked here.
  if (access(path, W_OK) != 0) {
    return errno == EACCES || errno == EROFS || errno == EPERM ? TargetKind::readOnly
                                                                : TargetKind::unknown;
  }
  if ((info.st_mode & 0222) == 0) return TargetKind::readOnly;
  return TargetKind::writable;
#endif
}

int removeStaleReplacements(const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path targetPath(target);
  const std::string prefix = targetPath.filename().string() + kTempMark;
  const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
  // Names first, removals after: a folder that changes while it is read
  // may show an entry twice or not at all.
  std::vector<fs::path> stale;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (isTemporaryName(it->path().filename().string(), prefix)) stale.push_back(it->path());
  }
  int removed = 0;
  for (const fs::path& file : stale) {
    std::error_code ignored;
    if (fs::remove(file, ignored)) ++removed;
  }
  return removed;
}

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
  target_ = replacementTarget(target);
  int fd = -1;
  // Another run at the same moment gets another name; a stale file of a
  // crashed run is never reused.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = target_ + kTempMark + std::to_string(processId()) + "-" +
            std::to_string(attempt) + kTempEnd;
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
  // The replacement keeps the target's owner and permissions, or does not
  // take its place. Each is only set where it differs, so that a file system
  // that cannot change them (some mounts) is no obstacle when nothing needs
  // changing. The owner goes first: a change of owner clears the set-ID bits.
  struct stat info;
  struct stat temp;
  if (stat(target_.c_str(), &info) == 0 && fstat(fd, &temp) == 0) {
    if ((info.st_uid != temp.st_uid || info.st_gid != temp.st_gid) &&
        fchown(fd, info.st_uid, info.st_gid) != 0)
      ok = false;
    if (ok && (info.st_mode & 07777) != (temp.st_mode & 07777) && fchmod(fd, info.st_mode & 07777) != 0)
      ok = false;
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
