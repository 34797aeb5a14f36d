#include "common/append_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/test_files.h"

namespace {
/// A disk that fills up half way through the write: half the bytes reach
/// the file, then the write fails.
size_t writeHalfThenFail(const char* data, size_t n, FILE* file) {
  size_t written = std::fwrite(data, 1, n / 2, file);
  std::fflush(file);
  return written;
}
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
