#include "booking/booking_sort.h"

#include <algorithm>
#include <cstring>

int compareBookings(const BookingRecord& a, const BookingRecord& b) {
  // strcmp compares as unsigned char, and a prefix is the smaller text.
  int byPerson = std::strcmp(a.personnelNumber, b.personnelNumber);
  if (byPerson != 0) return byPerson;
  return std::strcmp(a.date, b.date);
}

void sortBookings(std::vector<BookingRecord>& bookings) {
  // Records that compare equal may end up in any order, as with qsort; the
  // output list only looks at personnel number and date, which they share.
  std::sort(bookings.begin(), bookings.end(),
            [](const BookingRecord& a, const BookingRecord& b) { return compareBookings(a, b) < 0; });
}
