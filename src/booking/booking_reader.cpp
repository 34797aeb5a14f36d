#include "booking/booking_reader.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "booking/normalise.h"
#include "common/text_file.h"

namespace {
// The fields take one character less than their capacity: the last byte
// stays the terminator of the zero-filled record.
template <size_t N>
size_t readField(TextReader& input, char (&field)[N]) {
  return input.read(field, N - 1);
}

/// Takes the first of the count characters read, as many as field holds, as
/// parts[index]. Returns how many of count are left for the next field.
template <size_t N>
size_t takeField(const char (&field)[N], size_t count, std::string_view (&parts)[4], int index) {
  const size_t n = count < N - 1 ? count : N - 1;
  parts[index] = std::string_view(field, n);
  return count - n;
}

/// The bytes an editor saving UTF-8 may put in front of the first line.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

size_t readBookingGroupPart(TextReader& input, BookingRecord& record) {
  // A short read ends the group: the rest stays zero.
  size_t got = readField(input, record.date);
  if (got < sizeof record.date - 1) return got;
  size_t n = readField(input, record.time);
  got += n;
  if (n < sizeof record.time - 1) return got;
  n = readField(input, record.badge);
  got += n;
  if (n < sizeof record.badge - 1) return got;
  return got + readField(input, record.workstation);
}

bool readBookingGroup(TextReader& input, BookingRecord& record) {
  return readBookingGroupPart(input, record) == kBookingGroupLength;
}

bool groupEndsInLineFeed(const BookingRecord& record) {
  return record.workstation[sizeof record.workstation - 2] == '\n';
}

BookingTail judgeBookingTail(const BookingRecord& record, size_t count, bool linesSoFar) {
  std::string_view parts[4];
  size_t left = takeField(record.date, count, parts, 0);
  left = takeField(record.time, left, parts, 1);
  left = takeField(record.badge, left, parts, 2);
  takeField(record.workstation, left, parts, 3);
  bool lineEnd = false;
  bool text = false;
  for (std::string_view part : parts) {
    for (char c : part) {
      if (c == '\n') lineEnd = true;
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') text = true;
    }
  }
  if (!text) return BookingTail::Nothing;
  // The producer wrote lines of 31 characters and left out the last line end.
  if (linesSoFar && count == kBookingGroupLength - 1 && !lineEnd) return BookingTail::Booking;
  return BookingTail::Unread;
}

BookingRecord* appendEmptyBooking(std::vector<BookingRecord>& bookings) {
  // The vector grows geometrically, so a million bookings cost a handful of
  // reallocations; running out of memory is the one exception that can occur
  // and it ends here, as a null result the run reports.
  try {
    return &bookings.emplace_back(BookingRecord{});
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
}

BookingFileEnd readBookingFile(TextReader& input, std::vector<BookingRecord>& bookings, BookingFileReport& report) {
  report = BookingFileReport{};
  // Every group so far ended in a line feed: a file of 31-character lines.
  bool linesSoFar = true;
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    if (record == nullptr) return BookingFileEnd::NoMemory;
    const size_t got = readBookingGroupPart(input, *record);
    if (bookings.size() == 1 && got >= sizeof kUtf8ByteOrderMark - 1)
      report.byteOrderMark = std::memcmp(record->date, kUtf8ByteOrderMark, sizeof kUtf8ByteOrderMark - 1) == 0;
    const BookingTail tail = got == kBookingGroupLength || input.failed() ? BookingTail::Nothing
                                                                          : judgeBookingTail(*record, got, linesSoFar);
    if (got != kBookingGroupLength && tail != BookingTail::Booking) {
      bookings.pop_back();  // the incomplete group at the end is not a booking
      if (tail == BookingTail::Unread) report.unread = got;
      break;
    }
    const bool endsInLineFeed = groupEndsInLineFeed(*record);
    // The first group is no line yet: a file of plain 32-character groups
    // never lines up, and needs no word.
    if (linesSoFar && !endsInLineFeed && bookings.size() > 1 && got == kBookingGroupLength && report.misalignedAt == 0)
      report.misalignedAt = bookings.size();
    linesSoFar = linesSoFar && endsInLineFeed;
    normaliseBooking(*record);
  }
  if (input.failed()) return BookingFileEnd::ReadError;
  // A damaged file (a copy gone wrong, a tool that appended) may hold
  // bookings behind the mark that a Windows reader, and so this one, stops at.
  size_t behind = 0;
  bool text = false;
  if (input.readPastEndMark(behind, text) != 0) return BookingFileEnd::ReadError;
  if (text) report.pastEndMark = behind;
  return BookingFileEnd::Complete;
}
