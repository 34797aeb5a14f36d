#include "common/append_file.h"

#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
size_t writeWithStdio(const char* data, size_t n, FILE* file) { return std::fwrite(data, 1, n, file); }
}  // namespace

int cutFileTo(FILE* file, long length) {
#if defined(_WIN32)
  return _chsize_s(_fileno(file), length) == 0 ? 0 : -1;
#else
  return ftruncate(fileno(file), static_cast<off_t>(length)) == 0 ? 0 : -1;
#endif
}

FILE* openWithoutWaiting(const char* path, const char* mode) {
#if defined(_WIN32)
  // Opening a file never waits for a reader there.
  return std::fopen(path, mode);
#else
  const bool append = std::strcmp(mode, "ab") == 0;
  const int flags = (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDWR) | O_CLOEXEC;
  // O_NONBLOCK makes a pipe without a reader fail (ENXIO) rather than wait;
  // on a regular file it changes nothing, and it is taken off again.
  const int fd = ::open(path, flags | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  const int now = fcntl(fd, F_GETFL);
  FILE* file = now == -1 || fcntl(fd, F_SETFL, now & ~O_NONBLOCK) == -1 ? nullptr : fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

AppendFile::AppendFile(WriteBytes write) : write_(write != nullptr ? write : writeWithStdio) {}

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const char* path) {
  close();
  failed_ = false;
  try {
    path_ = path;
  } catch (...) {
    return -1;
  }
  file_ = openWithoutWaiting(path, "ab");
  if (file_ == nullptr) return -1;
  // Unbuffered: after a failed write no rest may wait in a buffer, to be
  // written behind the cut by the close.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (std::fseek(file_, 0, SEEK_END) != 0 || (startLength_ = std::ftell(file_)) < 0) {
    std::fclose(file_);
    file_ = nullptr;
    return -1;
  }
  return 0;
}

int AppendFile::append(std::string_view bytes) {
  if (file_ == nullptr || failed_) return -1;
  if (write_(bytes.data(), bytes.size(), file_) == bytes.size() && std::fflush(file_) == 0) return 0;
  failed_ = true;
  cutBack();
  return -1;
}

int AppendFile::cutBack() {
  if (file_ != nullptr) return cutFileTo(file_, startLength_);
  // Closed already: open it again only to cut it.
  FILE* file = openWithoutWaiting(path_.c_str(), "r+b");
  if (file == nullptr) return -1;
  int result = cutFileTo(file, startLength_);
  std::fclose(file);
  return result;
}

int AppendFile::close() {
  if (file_ == nullptr) return 0;
  bool ok = !failed_;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  if (!ok && !failed_) cutBack();
  failed_ = false;
  return ok ? 0 : -1;
}
