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

/// The parameter file's own lines have 40 characters; nothing shorter is whole.
bool isFortyCharacters(std::string_view text) { return text.size() == 40; }

constexpr char kWholeLine[] = "ACME                ,00004711,25.01.2007";
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

  EXPECT_EQ(appendWhole(path, "a line the disk cannot hold\r\n", report, nullptr, writeHalfThenFailing), -1);
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

// The end of the file before the run's lines: a whole line an editor saved
// without its line end keeps it (CR LF, or the LF a run killed between the two
// left out), 0x1A marks go so a text-mode reader reaches the new lines, and
// only a fragment is cut; a failed write then takes back the run's bytes and
// no more, the fragment staying gone.
TEST(LockedAppend, EndOfTheFileIsMendedBeforeTheLinesAndOnlyAFragmentIsCut) {
  const std::string path = testTempPath("param.txt");
  const std::string old = "OLD                 ,00000001,01.01.2007\r\n";
  const std::string mine = "B                   ,00000002,26.01.2007\r\n";
  struct Case {
    std::string before;
    long tornBytes;
    bool lineEndAdded;
    long endMarks;
    std::string after;
  };
  const Case cases[] = {
      {old + kWholeLine, 0, true, 0, old + kWholeLine + "\r\n" + mine},
      {old + kWholeLine + "\r", 0, true, 0, old + kWholeLine + "\r\n" + mine},
      {old + kWholeLine + "\x1A", 0, true, 1, old + kWholeLine + "\r\n" + mine},
      {old + "\x1A\x1A", 0, false, 2, old + mine},
      {old + std::string(kWholeLine).substr(0, 39), 39, false, 0, old + mine},
      {old + "ACME\x1A", 4, false, 1, old + mine},
      {kWholeLine, 0, true, 0, std::string(kWholeLine) + "\r\n" + mine},
      // The last line feed is the first byte of the last 4 KiB read.
      {"OLD\r\n" + std::string(4095, 'x'), 4095, false, 0, "OLD\r\n" + mine},
      {"OLD\r\n" + std::string(8191, 'x'), 8191, false, 0, "OLD\r\n" + mine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before.substr(0, 60));
    writeFileBytes(path, c.before);
    AppendReport report;
    ASSERT_EQ(appendWhole(path, mine, report, isFortyCharacters), 0);
    EXPECT_EQ(report.tornBytes, c.tornBytes);
    EXPECT_EQ(report.lineEndAdded, c.lineEndAdded);
    EXPECT_EQ(report.endMarks, c.endMarks);
    EXPECT_EQ(fileBytes(path), c.after);
  }

  // Without a judge of whole lines every last line without its end is torn.
  writeFileBytes(path, old + kWholeLine);
  AppendReport report;
  ASSERT_EQ(appendWhole(path, mine, report), 0);
  EXPECT_EQ(report.tornBytes, 40);
  EXPECT_EQ(fileBytes(path), old + mine);

  writeFileBytes(path, old + "ACME     ");
  EXPECT_EQ(appendWhole(path, mine, report, isFortyCharacters, writeHalfThenFailing), -1);
  EXPECT_EQ(report.tornBytes, 9);
  EXPECT_EQ(fileBytes(path), old);
  std::remove(path.c_str());
}

// The turn is held from before the file's end is mended until the lines are
// written; without it (a second stop cut the wait) the lines are written all
// the same and the end is left alone, since another run may be writing there.
TEST(LockedAppend, TheTurnIsHeldWhileTheEndIsMendedAndTheLinesWritten) {
  const std::string path = testTempPath("param.txt");
  writeFileBytes(path, "ACME   ");
  static std::string watched;
  watched = path;
  static bool heldDuringWrite;
  static std::string fileAtWrite;
  heldDuringWrite = false;
  auto write = [](const char* data, size_t n, FILE* file) -> size_t {
    FileLock probe;
    heldDuringWrite = probe.acquire(watched + ".lock", 0) != 0;
    fileAtWrite = fileBytes(watched);
    return std::fwrite(data, 1, n, file);
  };
  AppendReport report;
  int waits = 0;
  ASSERT_EQ(appendInTurn(path, "NEW\r\n", 1000, false, nullptr, countWait, &waits, isFortyCharacters, report, write),
            0);
  EXPECT_TRUE(heldDuringWrite);
  EXPECT_EQ(fileAtWrite, "");  // mended before the write
  EXPECT_EQ(report.tornBytes, 7);
  EXPECT_FALSE(report.withoutLock);
  FileLock after;
  EXPECT_EQ(after.acquire(path + ".lock", 0), 0);  // and given back
  after.release();

  writeFileBytes(path, "OTHER  ");
  FileLock other;
  ASSERT_EQ(other.acquire(path + ".lock", 0), 0);
  StopFlag stop{kStopAtOnce};
  report = AppendReport{};
  ASSERT_EQ(appendInTurn(path, "NEW\r\n", 60000, false, &stop, countWait, &waits, isFortyCharacters, report, write),
            0);
  EXPECT_TRUE(report.withoutLock);
  EXPECT_EQ(report.tornBytes, 0);
  EXPECT_EQ(fileBytes(path), "OTHER  NEW\r\n");
  // Without a stop the run out of patience writes nothing.
  report = AppendReport{};
  EXPECT_EQ(appendInTurn(path, "NEW\r\n", 100, false, nullptr, countWait, &waits, isFortyCharacters, report, write),
            -1);
  EXPECT_EQ(fileBytes(path), "OTHER  NEW\r\n");
  EXPECT_EQ(waits, 2);
  std::remove(path.c_str());
}
