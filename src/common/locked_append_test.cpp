#include "common/locked_append.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/stop_flag.h"
#include "common/test_files.h"

namespace {
/// A disk that fills up half way through the write.
size_t writeHalfThenFailing(const char* data, size_t n, FILE* file) {
  size_t written = std::fwrite(data, 1, n / 2, file);
  std::fflush(file);
  return written;
}

void countWait(void* waits) { ++*static_cast<int*>(waits); }
}  // namespace

// The remains of a killed run (a line without its end) go before the append,
// so the next line starts a line of its own; a failed write takes back only
// its own bytes, whatever another run appended since this run began.
TEST(LockedAppend, TornLineGoesAndAFailedWriteTakesBackOnlyItsOwnBytes) {
  const std::string path = testTempPath("param.txt");
  writeFileBytes(path, "ACME                ,00004711,25.01.2007\r\nACME            ");
  AppendReport report;
  ASSERT_EQ(appendWhole(path, "B                   ,00000002,26.01.2007\r\n", report), 0);
  EXPECT_EQ(report.tornBytes, 16);
  EXPECT_EQ(fileBytes(path),
            "ACME                ,00004711,25.01.2007\r\nB                   ,00000002,26.01.2007\r\n");

  EXPECT_EQ(appendWhole(path, "a line the disk cannot hold\r\n", report, writeHalfThenFailing), -1);
  EXPECT_EQ(report.tornBytes, 0);
  EXPECT_EQ(fileBytes(path),
            "ACME                ,00004711,25.01.2007\r\nB                   ,00000002,26.01.2007\r\n");

  // A file taken away by the follow-on tool is made again; one that holds
  // nothing but a fragment is emptied first.
  std::remove(path.c_str());
  ASSERT_EQ(appendWhole(path, "C\r\n", report), 0);
  EXPECT_EQ(fileBytes(path), "C\r\n");
  writeFileBytes(path, "AC");
  ASSERT_EQ(appendWhole(path, "D\r\n", report), 0);
  EXPECT_EQ(report.tornBytes, 2);
  EXPECT_EQ(fileBytes(path), "D\r\n");

  // Without the turn a line in the making is not cut.
  writeFileBytes(path, "E\r\nhalf");
  report.withoutLock = true;
  ASSERT_EQ(appendWhole(path, "F\r\n", report), 0);
  EXPECT_EQ(fileBytes(path), "E\r\nhalfF\r\n");
  std::remove(path.c_str());
  EXPECT_EQ(checkAppendable(testTempPath("no-such-folder/param.txt").c_str()), -1);
}

TEST(LockedAppend, TurnWaitsForAnotherRunAndASecondStopCutsTheWait) {
  const std::string path = testTempPath("param.txt");
  FileLock other;
  ASSERT_EQ(other.acquire(path + ".lock", 0), 0);

  int waits = 0;
  FileLock mine;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(takeAppendTurn(mine, path, 200, nullptr, countWait, &waits), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(waits, 1);

  StopFlag stop{kStopAtOnce};
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(takeAppendTurn(mine, path, 60000, &stop, countWait, &waits), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // The turn comes as soon as the other run lets go.
  std::thread release([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    other.release();
  });
  stop = 1;  // a first stop request waits for the turn as usual
  EXPECT_EQ(takeAppendTurn(mine, path, 60000, &stop, countWait, &waits), 1);
  release.join();
  EXPECT_TRUE(mine.held());
  mine.release();
  EXPECT_EQ(takeAppendTurn(mine, path, 0, nullptr, countWait, &waits), 0);
  EXPECT_EQ(waits, 3);
}
