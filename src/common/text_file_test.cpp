#include "common/text_file.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {
std::string readAllTranslated(const std::string& bytes) {
  std::string path = testTempPath("read");
  writeFileBytes(path, bytes);
  TextReader in;
  EXPECT_EQ(in.open(path.c_str()), 0);
  std::string out;
  for (int c; (c = in.get()) >= 0;) out += static_cast<char>(c);
  std::remove(path.c_str());
  return out;
}
}  // namespace

TEST(TextReader, TranslatesLineEndsAsWindowsTextMode) {
  EXPECT_EQ(readAllTranslated("a\r\nb\r\n"), "a\nb\n");
  EXPECT_EQ(readAllTranslated("a\nb"), "a\nb");
  EXPECT_EQ(readAllTranslated("a\rb\r"), "a\rb\r");          // a lone CR stays
  EXPECT_EQ(readAllTranslated("a\r\r\nb"), "a\r\nb");       // only the CR before LF goes
  EXPECT_EQ(readAllTranslated(""), "");
}

TEST(TextReader, CtrlZEndsTheInputForGood) {
  EXPECT_EQ(readAllTranslated(std::string("ab\x1A" "cd\r\n", 7)), "ab");
  EXPECT_EQ(readAllTranslated(std::string("ab\r\x1A" "cd", 6)), "ab\r");
  EXPECT_EQ(readAllTranslated(std::string("\x1A", 1)), "");
  // Reading on after the end finds nothing either way: what follows 0x1A
  // never becomes input.
  std::string path = testTempPath("ctrlz");
  writeFileBytes(path, std::string("ab\x1A" "cd\r\nef", 9));
  TextReader in;
  ASSERT_EQ(in.open(path.c_str()), 0);
  char buf[16] = {};
  EXPECT_EQ(in.read(buf, sizeof buf - 1), 2u);
  EXPECT_EQ(in.read(buf, sizeof buf - 1), 0u);
  EXPECT_EQ(in.get(), -1);
  EXPECT_EQ(in.get(), -1);
  EXPECT_FALSE(in.readLine(buf, sizeof buf));
  EXPECT_FALSE(in.failed());
  in.close();
  std::remove(path.c_str());
}

TEST(TextReader, CrLfSplitAcrossTheReadBufferIsOneLineFeed) {
  // The reader's buffer holds 16384 bytes: put the CR last in the first fill.
  std::string bytes(16383, 'x');
  bytes += "\r\nz";
  std::string got = readAllTranslated(bytes);
  ASSERT_EQ(got.size(), 16385u);
  EXPECT_EQ(got.substr(16383), "\nz");
}

namespace {
/// What readPastEndMark finds in a file of bytes read up to its first 0x1A.
std::pair<size_t, bool> behindTheMark(const std::string& bytes) {
  std::string path = testTempPath("behind");
  writeFileBytes(path, bytes);
  TextReader in;
  EXPECT_EQ(in.open(path.c_str()), 0);
  while (in.get() >= 0) {
  }
  size_t characters = 99;
  bool text = true;
  EXPECT_EQ(in.readPastEndMark(characters, text), 0);
  EXPECT_EQ(in.get(), -1);  // looking behind the mark reads nothing into the input
  std::remove(path.c_str());
  return {characters, text};
}
}  // namespace

// What lies behind the mark is counted as it would read without it (CR LF as
// one, also split across refills of the reader's 16384-byte buffer), from the
// bytes the buffer held at the mark on; blanks, line ends and further marks
// are no text.
TEST(TextReader, WhatLiesBehindTheMarkIsCountedWithoutBeingRead) {
  EXPECT_EQ(behindTheMark("ab"), std::make_pair(size_t{0}, false));
  EXPECT_EQ(behindTheMark("ab\x1A"), std::make_pair(size_t{0}, false));
  EXPECT_EQ(behindTheMark("ab\x1A \r\n\t\x1A\n"), std::make_pair(size_t{5}, false));
  EXPECT_EQ(behindTheMark("ab\r\x1A" "cd\r\n"), std::make_pair(size_t{3}, true));
  const std::string fill(16382, 'x');
  EXPECT_EQ(behindTheMark(fill + "\x1A" "\r\nz"), std::make_pair(size_t{2}, true));
  EXPECT_EQ(behindTheMark("\x1A" + fill + "\r\n"), std::make_pair(size_t{16383}, true));
  EXPECT_EQ(behindTheMark("\x1A" + std::string(40000, ' ') + "z"), std::make_pair(size_t{40001}, true));
}

TEST(TextReader, ReadLineBehavesAsFgets) {
  std::string path = testTempPath("lines");
  writeFileBytes(path, "first\r\nsecond line that is long\r\nlast");
  TextReader in;
  ASSERT_EQ(in.open(path.c_str()), 0);
  char buf[8];
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "first\n");
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "second ");  // cut at the capacity; the rest is the next line
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "line th");
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "at is l");
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "ong\n");
  ASSERT_TRUE(in.readLine(buf, sizeof buf));
  EXPECT_STREQ(buf, "last");  // a file may end without a line end
  EXPECT_FALSE(in.readLine(buf, sizeof buf));
  std::remove(path.c_str());
}

TEST(TextReader, MissingFileDoesNotOpen) {
  TextReader in;
  EXPECT_EQ(in.open(testTempPath("does/not/exist").c_str()), -1);
  EXPECT_FALSE(in.isOpen());
  EXPECT_EQ(in.get(), -1);
}

TEST(TextReader, FolderDoesNotOpen) {
  const std::string folder = testTempPath("folder");
  std::filesystem::create_directories(folder);
  TextReader in;
  EXPECT_EQ(in.open(folder.c_str()), -1);
  EXPECT_FALSE(in.isOpen());
  std::filesystem::remove(folder);
}

TEST(TextReader, ReadErrorEndsTheInputButIsNotTheEndOfTheFile) {
  const std::string path = testTempPath("write-only.txt");
  writeFileBytes(path, "some bytes");
  TextReader in;
#if !defined(_WIN32)
  // A stream open only for writing fails every read (the Windows C library
  // does not flag that as an error).
  ASSERT_EQ(in.open(std::fopen(path.c_str(), "ab")), 0);
  EXPECT_EQ(in.get(), -1);
  EXPECT_TRUE(in.failed());
#endif
  // A file read to its end has not failed.
  ASSERT_EQ(in.open(path.c_str()), 0);
  char buf[32];
  EXPECT_EQ(in.read(buf, sizeof buf), 10u);
  EXPECT_FALSE(in.failed());
  in.close();
  std::remove(path.c_str());
}

TEST(TextWriter, WritesCrLfAndAppends) {
  std::string path = testTempPath("write");
  writeFileBytes(path, "old\r\n");
  TextWriter out;
  ASSERT_EQ(out.openAppend(path.c_str()), 0);
  EXPECT_EQ(out.printf("%s,%d\n", "a", 1), 0);
  EXPECT_EQ(out.write("b\nc", 3), 0);
  EXPECT_EQ(out.close(), 0);
  EXPECT_EQ(fileBytes(path), "old\r\na,1\r\nb\r\nc");
  std::remove(path.c_str());
}

TEST(TextWriter, CreatesMissingFileButNotMissingFolder) {
  std::string path = testTempPath("created");
  std::remove(path.c_str());
  TextWriter out;
  ASSERT_EQ(out.openAppend(path.c_str()), 0);
  EXPECT_EQ(out.close(), 0);
  EXPECT_TRUE(std::filesystem::exists(path));
  std::remove(path.c_str());
  EXPECT_EQ(out.openAppend(testTempPath("no-such-folder/x").c_str()), -1);
}

#if defined(__linux__)
TEST(TextWriter, FullDiskIsReportedNotSwallowed) {
  // /dev/full accepts the open and fails every write that reaches it.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TextWriter out;
  ASSERT_EQ(out.openAppend("/dev/full"), 0);
  out.printf("%s\n", "line");  // buffered: may only fail at the flush
  EXPECT_EQ(out.close(), -1);
}
#endif
