#include "booking/booking_reader.h"

#include <new>
#include <stdexcept>

#include "common/text_file.h"

namespace {
// The fields take one character less than their capacity: the last byte
// stays the terminator of the zero-filled record.
template <size_t N>
bool readField(TextReader& input, char (&field)[N]) {
  return input.read(field, N - 1) == N - 1;
}
}  // namespace

bool readBookingGroup(TextReader& input, BookingRecord& record) {
  // A short read ends the input: the group is incomplete and not counted.
  return readField(input, record.date) && readField(input, record.time) &&
         readField(input, record.badge) && readField(input, record.workstation);
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
