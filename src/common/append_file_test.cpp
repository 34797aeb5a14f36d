#include "common/append_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "common/test_files.h"

namespace {
/// A disk that fills up half way through the write: half the bytes reach
/// the file, then the write fails.
size_t writeHalfThenFail(const char* data, size_t n, FILE* file) {
  size_t written = std::fwrite(data, 1, n / 2, file);
  std::fflush(file);
  return written;
}

/// A disk that fills up half way, before any of the bytes left the stream:
/// what a buffer kept would reach the file at the close.
size_t writeHalfIntoTheStreamThenFail(const char* data, size_t n, FILE* file) {
  return std::fwrite(data, 1, n / 2, file);
}

#if !defined(_WIN32)
/// Writes every byte, then takes the descriptor from under the stream, so the
/// close fails as one on a full network disk does.
size_t writeAllThenLoseTheDescriptor(const char* data, size_t n, FILE* file) {
  const size_t written = std::fwrite(data, 1, n, file);
  close(fileno(file));
  return written;
}
#endif
}  // namespace

TEST(AppendFile, AppendsToWhatTheFileHeldAndCreatesAMissingOne) {
  const std::string path = testTempPath("param.txt");
  std::remove(path.c_str());
  {
    AppendFile file;
    ASSERT_EQ(file.open(path.c_str()), 0);
    EXPECT_EQ(file.append("first\r\n"), 0);
    EXPECT_EQ(file.close(), 0);
  }
  AppendFile again;
  ASSERT_EQ(again.open(path.c_str()), 0);
  EXPECT_EQ(again.append("second\r\n"), 0);
  EXPECT_EQ(again.append(""), 0);
  EXPECT_EQ(again.close(), 0);
  EXPECT_EQ(fileBytes(path), "first\r\nsecond\r\n");
  std::remove(path.c_str());
}

TEST(AppendFile, FailedWriteCutsTheFileBackToItsLengthBeforeTheRun) {
  const std::string path = testTempPath("param.txt");
  writeFileBytes(path, "old line\r\n");
  AppendFile file(writeHalfThenFail);
  ASSERT_EQ(file.open(path.c_str()), 0);
  EXPECT_EQ(file.append("a new line that the disk cannot hold\r\n"), -1);
  EXPECT_EQ(fileBytes(path), "old line\r\n");  // no torn line
  // Once failed, nothing more is appended and the close reports it.
  EXPECT_EQ(file.append("x\r\n"), -1);
  EXPECT_EQ(file.close(), -1);
  EXPECT_EQ(fileBytes(path), "old line\r\n");
  std::remove(path.c_str());
}

TEST(AppendFile, PathThatCannotBeOpenedOrAppendedToIsAnError) {
  AppendFile missingFolder;
  EXPECT_EQ(missingFolder.open(testTempPath("no-such-folder/param.txt").c_str()), -1);
  EXPECT_EQ(missingFolder.append("x"), -1);
  EXPECT_EQ(missingFolder.close(), 0);  // nothing was open
#if !defined(_WIN32)
  AppendFile full;
  ASSERT_EQ(full.open("/dev/full"), 0);
  EXPECT_EQ(full.append("line\r\n"), -1);
  EXPECT_EQ(full.close(), -1);
#endif
}

// Neither a failed write whose bytes could wait in the stream nor a write that
// succeeded and a close that then failed leave any of the run's bytes.
TEST(AppendFile, FailedWriteOrCloseLeavesNoneOfTheBytes) {
  const std::string path = testTempPath("param.txt");
  writeFileBytes(path, "old line\r\n");
  {
    AppendFile file(writeHalfIntoTheStreamThenFail);
    ASSERT_EQ(file.open(path.c_str()), 0);
    EXPECT_EQ(file.append("a new line that the disk cannot hold\r\n"), -1);
    EXPECT_EQ(file.close(), -1);
  }
  EXPECT_EQ(fileBytes(path), "old line\r\n");
#if !defined(_WIN32)
  {
    AppendFile file(writeAllThenLoseTheDescriptor);
    ASSERT_EQ(file.open(path.c_str()), 0);
    EXPECT_EQ(file.append("a line whose close fails\r\n"), 0);
    EXPECT_EQ(file.close(), -1);
  }
  EXPECT_EQ(fileBytes(path), "old line\r\n");
#endif
  std::remove(path.c_str());
}
