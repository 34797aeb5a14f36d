#pragma once
// Text-mode files that behave the same on every platform. The booking and
// settings files come from Windows: there a text-mode stream reads CR LF as
// LF and stops at a byte 0x1A, and writes LF as CR LF. Linux does none of
// that, so the program opens every file in binary mode and translates here.

#include <cstddef>
#include <cstdio>

/// Reads a file as a Windows text-mode stream does: a CR LF pair reads as one
/// LF, a lone CR stays a CR, and a byte 0x1A ends the input for good.
struct TextReader {
  TextReader() = default;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;
  ~TextReader() { close(); }

  /// Opens path for reading. Returns 0, or -1 when it cannot be opened or is
  /// a folder.
  int open(const char* path);
  /// Reads from file, already open, instead; closes it in close(). Returns 0.
  int open(FILE* file);
  /// True between a successful open and close.
  bool isOpen() const { return file_ != nullptr; }
  /// The next character (0-255), or -1 at the end of the input; a read error
  /// ends the input too, and failed() tells it apart.
  int get();
  /// True when the input ended in a read error rather than at its end.
  bool failed() const { return failed_; }
  /// Reads up to n characters into dst (no terminator is added). Returns the
  /// count read, less than n only at the end of the input.
  size_t read(char* dst, size_t n);
  /// Reads one line as fgets does: at most cap-1 characters, stopping after a
  /// line feed, and terminates dst. Returns false when nothing was read.
  bool readLine(char* dst, size_t cap);
  /// True when the input ended at a byte 0x1A rather than at the end of the
  /// file or a read error.
  bool endedAtMark() const { return marked_; }
  /// Reads the rest of the file behind the byte 0x1A that ended the input,
  /// which no get() hands out: characters gets their count (CR LF counted as
  /// one, as they would read without the mark), text whether one of them is
  /// no blank, tab, line end or further 0x1A. Returns 0 (both 0 and false
  /// when the input did not end at a mark), or -1 on a read error.
  int readPastEndMark(size_t& characters, bool& text);
  /// Closes the file; harmless when it is not open.
  void close();

 private:
  /// Raw next byte of the file, or -1.
  int rawByte();

  FILE* file_ = nullptr;
  /// Bytes read from the file and not yet handed out. A fuzz build reads in
  /// small pieces, so that every input crosses refills.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  unsigned char buf_[64];
#else
  unsigned char buf_[16384];
#endif
  size_t pos_ = 0;
  size_t len_ = 0;
  /// Set once the end of the file or a read error was met.
  bool ended_ = false;
  /// Set once a byte 0x1A was met; what follows it stays in the file.
  bool marked_ = false;
  /// Set when the input ended in a read error.
  bool failed_ = false;
};

/// Writes a file as a Windows text-mode stream does: every LF goes to disk as
/// CR LF. Every write and the close are checked, so a full disk or a failed
/// close cannot pass as success.
struct TextWriter {
  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter() { close(); }

  /// Opens path for appending, creating it when missing. Returns 0, or -1.
  int openAppend(const char* path);
  /// Writes text with each LF as CR LF. Returns 0, or -1 (and remembers it).
  int write(const char* text, size_t n);
  /// printf-style write through write(). Returns 0, or -1.
  int printf(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  /// Flushes and closes. Returns 0 when every write and the close succeeded
  /// since open, otherwise -1. Harmless (0) when it is not open.
  int close();

 private:
  FILE* file_ = nullptr;
  /// Set by the first failed write; reported again by close().
  bool failed_ = false;
};
