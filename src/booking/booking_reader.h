#pragma once
// Reading the booking file: fixed 32-character groups into zero-filled
// records of a growing array.

#include <cstddef>
#include <vector>

#include "booking/booking_record.h"

struct TextReader;

/// Characters of a whole group.
inline constexpr size_t kBookingGroupLength = 32;

/// Reads one 32-character group (date 6, time 6, badge 13, workstation 7) into
/// a zero-filled record. Returns true when all 32 characters were read.
bool readBookingGroup(TextReader& input, BookingRecord& record);

/// Reads a group like readBookingGroup. Returns the count of characters read
/// (kBookingGroupLength when whole; fewer at the end of the file).
size_t readBookingGroupPart(TextReader& input, BookingRecord& record);

/// What an incomplete group at the end of the file is.
enum class BookingTail {
  Nothing,  // no characters, or only blanks and line ends
  Booking,  // a last line of 31 characters without its line end
  Unread,   // characters that make no booking
};

/// Judges the count characters of an incomplete last group in record;
/// linesSoFar says every group before it ended in a line feed (a file of
/// 31-character lines). Returns what it is.
BookingTail judgeBookingTail(const BookingRecord& record, size_t count, bool linesSoFar);

/// True when a whole group ends in a line feed. Returns true or false.
bool groupEndsInLineFeed(const BookingRecord& record);

/// Appends a zero-filled record to the booking array. Returns a pointer to it,
/// or nullptr when memory runs out (the array is then unchanged).
BookingRecord* appendEmptyBooking(std::vector<BookingRecord>& bookings);

/// What the operator is to learn of a booking file besides its bookings.
struct BookingFileReport {
  /// Characters of an incomplete group at the end that make no booking.
  size_t unread = 0;
  /// Characters behind a byte 0x1A that ended the file, when they hold more
  /// than blanks and line ends; 0 otherwise.
  size_t pastEndMark = 0;
  /// Number (from 1) of the first booking whose group no longer ends in a
  /// line feed after groups that all did; 0 when the lines never stop lining
  /// up.
  size_t misalignedAt = 0;
  /// True when the file begins with a UTF-8 byte-order mark.
  bool byteOrderMark = false;
};

/// How reading the booking file ended.
enum class BookingFileEnd { Complete, ReadError, NoMemory };

/// Reads every whole group of the booking file into bookings, normalised,
/// and fills report. Returns how it ended; what was read before an error
/// stays.
BookingFileEnd readBookingFile(TextReader& input, std::vector<BookingRecord>& bookings, BookingFileReport& report);
