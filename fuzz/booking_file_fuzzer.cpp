// The booking file path of a run on arbitrary bytes: the reader, the
// normalisation, the date texts, the sort, the sorted list and the output
// list. The lookups are stood in for by fields of the input itself, so the
// fuzzer steers the sort keys and the duplicates of the output list too. The
// parameter-file lines are checked as the run builds them in memory, before
// its one write: no file is touched per input.

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "booking/booking_date.h"
#include "booking/booking_reader.h"
#include "booking/booking_record.h"
#include "booking/booking_sort.h"
#include "booking/parameter_file.h"
#include "booking/normalise.h"
#include "common/text_file.h"
#include "common/field.h"
#include "fuzz_support.h"

namespace {
/// The reader's buffer size in a fuzz build. Padding in front moves where in
/// the input its refills fall; should the buffer change, the padding only
/// moves them elsewhere.
constexpr size_t kReaderRefillAt = 64;

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

template <size_t N>
bool terminated(const char (&field)[N]) {
  return fieldView(field).size() < N;
}

bool allTerminated(const BookingRecord& r) {
  return terminated(r.date) && terminated(r.time) && terminated(r.badge) && terminated(r.workstation) &&
         terminated(r.schema) && terminated(r.personnelNumber) && terminated(r.costCentre);
}

bool endsInWhiteSpace(std::string_view text) { return !text.empty() && isWhiteSpace(text.back()); }

/// The date texts of the insert and the run log: always whole, and a date
/// number is either a real day of this century or the stand-in for none.
void checkDateTexts(const BookingRecord& r) {
  char day[kDayTextCapacity];
  char time[kDayTextCapacity];
  require(bookingDayText(r, day, sizeof day) == 0, "day text fits");
  require(bookingTimeText(r, time, sizeof time) == 0, "time text fits");
  int32_t number = bookingDateNumber(r);
  require(number == kNoValidDateNumber || (number >= 20000000 && number <= 20999999), "date number in range");
  char date[kListDateCapacity];
  const char* shown = formatListDate(r, date);
  require(std::strlen(shown) <= std::strlen("DD.MM.20YY"), "listing date at most DD.MM.20YY");
}

/// One output line as the parameter file holds it, built without printf.
std::string expectedLine(const BookingRecord& r) {
  std::string line(fieldView(r.schema));
  if (line.size() < 20) line.append(20 - line.size(), ' ');
  line += ',';
  line += fieldView(r.personnelNumber);
  if (fieldView(r.personnelNumber).size() < 8) line.append(8 - fieldView(r.personnelNumber).size(), ' ');
  line += ',';
  char date[kListDateCapacity];
  line += formatListDate(r, date);
  line += '\n';
  std::string onDisk;
  for (char c : line) {
    if (c == '\n') onDisk += '\r';
    onDisk += c;
  }
  return onDisk;
}

/// Every character the reader gives for the bytes, as text-mode input sees
/// them.
std::string readTranslated(const uint8_t* data, size_t size) {
  TextReader reader;
  reader.open(memoryFile(data, size));
  std::string text;
  char chunk[4096];
  size_t n = 0;
  while ((n = reader.read(chunk, sizeof chunk)) > 0) text.append(chunk, n);
  return text;
}

/// The reader gives the same characters wherever its buffer refills: the
/// input behind plain padding reads as the padding and then the input alone.
void checkRefillBoundary(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t padding = kReaderRefillAt - data[0] % 64;
  std::string padded(padding, 'P');
  padded.append(reinterpret_cast<const char*>(data), size);
  require(readTranslated(reinterpret_cast<const uint8_t*>(padded.data()), padded.size()) ==
              std::string(padding, 'P') + readTranslated(data, size),
          "a buffer refill changes nothing the reader gives");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TextReader input;
  input.open(memoryFile(data, size));

  std::vector<BookingRecord> bookings;
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    require(record != nullptr, "memory for one more booking");
    if (!readBookingGroup(input, *record)) {
      bookings.pop_back();
      break;
    }
    BookingRecord& r = *record;
    normaliseBooking(r);
    require(!endsInWhiteSpace(fieldView(r.badge)) && !endsInWhiteSpace(fieldView(r.workstation)),
            "trimmed fields end in no white space");
    require(r.workstation[0] != '0', "workstation without leading zeros");
    // Stand-ins for the lookups, trimmed as the run trims what they return.
    copyField(r.personnelNumber, fieldView(r.badge));
    copyField(r.schema, fieldView(r.workstation));
    copyField(r.costCentre, fieldView(r.badge));
    trimRight(r.personnelNumber);
    trimRight(r.costCentre);
    require(allTerminated(r), "every field terminated");
    checkDateTexts(r);
  }
  input.close();
  checkRefillBoundary(data, size);
  // Every character of a group takes at least one byte of the file (a CR LF
  // pair takes two), so no file holds more groups than size / 32.
  require(bookings.size() <= size / 32, "no more groups than the bytes allow");

  sortBookings(bookings);
  for (size_t i = 1; i < bookings.size(); ++i)
    require(compareBookings(bookings[i - 1], bookings[i]) <= 0, "array sorted");
  printSortedList(stdout, bookings);

  std::string lines;
  require(appendParameterLines(bookings, bookings.size(), lines) == 0, "output list built");
  // Each employee and day once, with the fields of its first record in the
  // sorted array; records without personnel number or date are left out.
  std::set<std::pair<std::string, std::string>> seen;
  std::string expected;
  for (const BookingRecord& r : bookings) {
    if (r.personnelNumber[0] == '\0' || r.date[0] == '\0') continue;
    if (seen.emplace(fieldView(r.personnelNumber), fieldView(r.date)).second) expected += expectedLine(r);
  }
  require(lines == expected, "parameter file holds each employee and day once");
  // A run stopped early writes the lines of the bookings before the stop:
  // the lines of a prefix begin the lines of the whole.
  std::string prefixLines;
  const size_t prefix = size == 0 ? 0 : data[size - 1] % (bookings.size() + 1);
  require(appendParameterLines(bookings, prefix, prefixLines) == 0, "prefix lines built");
  require(expected.compare(0, prefixLines.size(), prefixLines) == 0, "a prefix's lines begin the whole list");
  return 0;
}
