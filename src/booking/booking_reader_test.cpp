#include "booking/booking_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "booking/normalise.h"
#include "common/text_file.h"
#include "common/test_files.h"

namespace {
/// Reads every whole group of bytes the way the run does, normalised.
std::vector<BookingRecord> readAll(const std::string& bytes) {
  std::string path = testTempPath("bookings");
  writeFileBytes(path, bytes);
  TextReader in;
  EXPECT_EQ(in.open(path.c_str()), 0);
  std::vector<BookingRecord> out;
  for (;;) {
    BookingRecord* r = appendEmptyBooking(out);
    EXPECT_NE(r, nullptr);
    if (!readBookingGroup(in, *r)) {
      out.pop_back();
      break;
    }
    normaliseBooking(*r);
  }
  std::remove(path.c_str());
  return out;
}
}  // namespace

TEST(BookingReader, EmptyFileHasNoBookings) { EXPECT_TRUE(readAll("").empty()); }

TEST(BookingReader, CutsGroupsOf32AndDropsTheIncompleteRest) {
  // 40 characters: one group, the last 8 are ignored.
  auto r = readAll("250107083015" "1234567890123" "0000123" "ABCDEFGH");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_STREQ(r[0].date, "250107");
  EXPECT_STREQ(r[0].time, "083015");
  EXPECT_STREQ(r[0].badge, "1234567890123");
  EXPECT_STREQ(r[0].workstation, "123");
  EXPECT_STREQ(r[0].personnelNumber, "");
  EXPECT_STREQ(r[0].schema, "");
  EXPECT_STREQ(r[0].costCentre, "");
}

TEST(BookingReader, LinesOf31WithCrLfAreOneGroupEach) {
  std::string line1 = "010207120000" "4711         " "000042" "\r\n";
  std::string line2 = "020207130000" "4712         " "0000000" "\r\n";
  // 31 characters and CR LF: the LF read in text mode is the 32nd character.
  auto r = readAll(line1.substr(0, 31) + "\r\n" + line2.substr(0, 31) + "\r\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_STREQ(r[0].badge, "4711");
  EXPECT_STREQ(r[0].workstation, "42");
  EXPECT_STREQ(r[1].badge, "4712");
  EXPECT_STREQ(r[1].workstation, "");  // seven zeros look up the empty text
}

TEST(BookingReader, LfOnlyLinesReadTheSame) {
  auto crlf = readAll(std::string("010207120000" "4711         " "000042") + "\r\n");
  auto lf = readAll(std::string("010207120000" "4711         " "000042") + "\n");
  ASSERT_EQ(crlf.size(), 1u);
  ASSERT_EQ(lf.size(), 1u);
  EXPECT_EQ(std::memcmp(&crlf[0], &lf[0], sizeof crlf[0]), 0);
}

TEST(BookingReader, CtrlZEndsTheBookings) {
  std::string line = "010207120000" "4711         " "000042" "\n";
  auto r = readAll(line + line + "\x1A" + line);
  EXPECT_EQ(r.size(), 2u);
  auto cut = readAll(line + line.substr(0, 20) + "\x1A" + line);
  EXPECT_EQ(cut.size(), 1u);  // the group broken by 0x1A is incomplete
}

TEST(BookingReader, EveryFieldStaysTerminated) {
  // No blanks, no line ends: every byte of the group is content.
  auto r = readAll(std::string(32, 'X'));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(std::string(r[0].date), "XXXXXX");
  EXPECT_EQ(std::string(r[0].badge), std::string(13, 'X'));
  EXPECT_EQ(std::string(r[0].workstation), std::string(7, 'X'));
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DULMAR_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DULMAR_UNDER_ASAN 1
#endif

#if defined(__linux__) && !defined(DULMAR_UNDER_ASAN)
#include <sys/resource.h>
#include <unistd.h>

namespace {
/// Fills a booking array until memory runs out under a 256 MiB address-space
/// limit; exits 3 when the append reported it and the array stayed intact.
[[noreturn]] void fillUntilMemoryRunsOut() {
  rlimit limit{256u << 20, 256u << 20};
  setrlimit(RLIMIT_AS, &limit);
  std::vector<BookingRecord> bookings;
  for (;;) {
    BookingRecord* r = appendEmptyBooking(bookings);
    if (r == nullptr) break;
    r->date[0] = '1';
  }
  bool intact = !bookings.empty() && bookings.front().date[0] == '1' && bookings.back().date[0] == '1';
  _exit(intact ? 3 : 1);
}
}  // namespace

TEST(BookingArrayDeathTest, RunningOutOfMemoryGivesNullAndKeepsTheArray) {
  EXPECT_EXIT(fillUntilMemoryRunsOut(), ::testing::ExitedWithCode(3), "");
}
#endif

namespace {
/// Reads the groups of bytes and judges the incomplete one at the end as the
/// run does. Returns the judgement and the count of characters it held.
std::pair<BookingTail, size_t> tailOf(const std::string& bytes) {
  std::string path = testTempPath("tail");
  writeFileBytes(path, bytes);
  TextReader in;
  EXPECT_EQ(in.open(path.c_str()), 0);
  bool linesSoFar = true;
  for (;;) {
    BookingRecord r{};
    const size_t got = readBookingGroupPart(in, r);
    if (got != kBookingGroupLength) {
      std::remove(path.c_str());
      return {judgeBookingTail(r, got, linesSoFar), got};
    }
    linesSoFar = linesSoFar && groupEndsInLineFeed(r);
  }
}
}  // namespace

// Producers leave out the last line end: a last line of 31 characters is a
// booking when the lines before were 31 characters with their line ends; any
// other rest with text in it is told, blanks and line ends are not.
TEST(BookingReader, LastLineWithoutItsEndAndOtherTails) {
  const std::string line = "2501070812151001         000123";
  EXPECT_EQ(tailOf(line + "\r\n" + line), std::make_pair(BookingTail::Booking, size_t{31}));
  EXPECT_EQ(tailOf(line), std::make_pair(BookingTail::Booking, size_t{31}));
  EXPECT_EQ(tailOf(line + "\r\n" + line + "\r\n"), std::make_pair(BookingTail::Nothing, size_t{0}));
  EXPECT_EQ(tailOf(line + "\r\n  \r\n\r\n"), std::make_pair(BookingTail::Nothing, size_t{4}));
  // Groups without line ends: 31 characters are not a line of the file.
  EXPECT_EQ(tailOf(line + "X" + line), std::make_pair(BookingTail::Unread, size_t{31}));
  // A line end inside the rest, or a rest of another length, is no booking
  // (counts are of characters as read: CR LF is one).
  EXPECT_EQ(tailOf(line + "\r\n" + line.substr(0, 20) + "\r\n" + line.substr(0, 9)),
            std::make_pair(BookingTail::Unread, size_t{30}));
  EXPECT_EQ(tailOf(line + "\r\n250107"), std::make_pair(BookingTail::Unread, size_t{6}));
  // One character short of a line is no booking either.
  EXPECT_EQ(tailOf(line + "\r\n" + line.substr(0, 30)), std::make_pair(BookingTail::Unread, size_t{30}));
}

namespace {
/// Reads a whole booking file of bytes as the run does. Returns the count of
/// bookings and what the reading reports.
std::pair<size_t, BookingFileReport> readReported(const std::string& bytes) {
  std::string path = testTempPath("reported");
  writeFileBytes(path, bytes);
  TextReader in;
  EXPECT_EQ(in.open(path.c_str()), 0);
  std::vector<BookingRecord> bookings;
  BookingFileReport report;
  EXPECT_EQ(readBookingFile(in, bookings, report), BookingFileEnd::Complete);
  std::remove(path.c_str());
  return {bookings.size(), report};
}
}  // namespace

// What a damaged booking file keeps from the operator: bookings behind a byte
// 0x1A (counted as they would read, CR LF as one; blanks, line ends and more
// marks are no loss), the first line that stops lining up with 31-character
// lines (once; a file of bare groups or a short last line is no such line),
// and a UTF-8 byte-order mark in front.
TEST(BookingReader, DamagedFileIsReportedWhereItGoesWrong) {
  const std::string line = "2501070812151001         000123\r\n";
  struct Case {
    std::string bytes;
    size_t bookings, unread, pastEndMark, misalignedAt;
    bool byteOrderMark;
  };
  const Case cases[] = {
      {line + "\x1A" + line + line, 1, 0, 64, 0, false},
      {line + line.substr(0, 8) + "\x1A" + line + line, 1, 8, 64, 0, false},
      {line + "\x1A\r\n \t\r\n\x1A\x1A", 1, 0, 0, 0, false},
      {line + line + "\x1A", 2, 0, 0, 0, false},
      {line + line + line.substr(0, 30) + "\r\n" + line + line, 4, 31, 0, 3, false},
      {line + std::string(100000, '7') + "\r\n" + line, 3127, 0, 0, 2, false},
      {"\xEF\xBB\xBF" + line + line, 2, 3, 0, 0, true},
      {std::string(32, '1') + std::string(32, '2'), 2, 0, 0, 0, false},
      {line + line + line.substr(0, 31), 3, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 80));
    const auto [bookings, report] = readReported(c.bytes);
    EXPECT_EQ(bookings, c.bookings);
    EXPECT_EQ(report.unread, c.unread);
    EXPECT_EQ(report.pastEndMark, c.pastEndMark);
    EXPECT_EQ(report.misalignedAt, c.misalignedAt);
    EXPECT_EQ(report.byteOrderMark, c.byteOrderMark);
  }
}
