#include "common/text_file.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstring>

namespace {
/// Windows' end-of-file mark in text mode.
constexpr int kCtrlZ = 0x1A;
/// Longest line that TextWriter::printf formats in one go; output lines of
/// this program are far shorter.
constexpr size_t kLineMax = 1024;
}  // namespace

int TextReader::open(const char* path) {
  close();
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -1;
  // A folder opens on some systems and then reads as an empty file.
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return -1;
  }
  return open(file);
}

int TextReader::open(FILE* file) {
  close();
  file_ = file;
  pos_ = len_ = 0;
  ended_ = false;
  marked_ = false;
  failed_ = false;
  return 0;
}

int TextReader::rawByte() {
  if (pos_ == len_) {
    if (ended_ || file_ == nullptr) return -1;
    len_ = std::fread(buf_, 1, sizeof buf_, file_);
    pos_ = 0;
    if (len_ == 0) {
      if (std::ferror(file_)) failed_ = true;
      ended_ = true;
      return -1;
    }
  }
  return buf_[pos_++];
}

int TextReader::get() {
  if (marked_ || (ended_ && pos_ == len_)) return -1;
  int c = rawByte();
  if (c == kCtrlZ) {
    // The buffer keeps what follows: readPastEndMark looks at it.
    marked_ = true;
    return -1;
  }
  if (c != '\r') return c;
  // A CR is only swallowed when an LF follows it directly.
  int next = rawByte();
  if (next == '\n') return '\n';
  if (next != -1) --pos_;  // give it back: the buffer still holds it
  return '\r';
}

size_t TextReader::read(char* dst, size_t n) {
  size_t got = 0;
  while (got < n) {
    int c = get();
    if (c < 0) break;
    dst[got++] = static_cast<char>(c);
  }
  return got;
}

bool TextReader::readLine(char* dst, size_t cap) {
  if (cap == 0) return false;
  size_t got = 0;
  while (got + 1 < cap) {
    int c = get();
    if (c < 0) break;
    dst[got++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  dst[got] = '\0';
  return got > 0;
}

int TextReader::readPastEndMark(size_t& characters, bool& text) {
  characters = 0;
  text = false;
  if (!marked_) return 0;
  bool afterCr = false;
  for (int c; (c = rawByte()) >= 0;) {
    if (!(afterCr && c == '\n')) ++characters;
    afterCr = c == '\r';
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != kCtrlZ) text = true;
  }
  return failed_ ? -1 : 0;
}

void TextReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  pos_ = len_ = 0;
  ended_ = true;
}

int TextWriter::openAppend(const char* path) {
  close();
  file_ = std::fopen(path, "ab");
  failed_ = false;
  return file_ != nullptr ? 0 : -1;
}

int TextWriter::write(const char* text, size_t n) {
  if (file_ == nullptr) return -1;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] != '\n') continue;
    if (std::fwrite(text + start, 1, i - start, file_) != i - start ||
        std::fwrite("\r\n", 1, 2, file_) != 2)
      failed_ = true;
    start = i + 1;
  }
  if (start < n && std::fwrite(text + start, 1, n - start, file_) != n - start)
    failed_ = true;
  return failed_ ? -1 : 0;
}

int TextWriter::printf(const char* format, ...) {
  char line[kLineMax];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= sizeof line) {
    failed_ = true;  // never write a cut line as if it were whole
    return -1;
  }
  return write(line, static_cast<size_t>(n));
}

int TextWriter::close() {
  if (file_ == nullptr) return 0;
  bool ok = !failed_;
  if (std::fflush(file_) != 0) ok = false;
  if (std::ferror(file_)) ok = false;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  failed_ = false;
  return ok ? 0 : -1;
}
