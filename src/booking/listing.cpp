#include "booking/listing.h"

#include <cstdio>
#include <cstring>

#include "booking/text_file.h"

namespace {
/// Capacity of the date text handed out by formatDate.
constexpr size_t kDateTextCapacity = 32;
char dateText[kDateTextCapacity];

bool sameEmployeeAndDay(const BookingRecord& a, const BookingRecord& b) {
  return std::strcmp(a.personnelNumber, b.personnelNumber) == 0 && std::strcmp(a.date, b.date) == 0;
}
}  // namespace

const char* formatDate(const BookingRecord& record) {
  // The century is always 20. A short date field leaves the missing pieces
  // empty rather than reading past the field.
  const char* d = record.date;
  std::snprintf(dateText, sizeof dateText, "%.2s.%.2s.20%.2s", d, d + strnlen(d, 2),
                d + strnlen(d, 4));
  return dateText;
}

void printSortedList(const std::vector<BookingRecord>& bookings) {
  std::printf("Sortierte Liste:\n");
  for (const BookingRecord& r : bookings) std::printf("%s,%s\n", r.personnelNumber, formatDate(r));
}

int writeOutputList(const std::vector<BookingRecord>& bookings, const char* path) {
  TextWriter out;
  if (out.openAppend(path) != 0) return -1;
  for (size_t i = 0; i < bookings.size(); ++i) {
    const BookingRecord& r = bookings[i];
    if (r.personnelNumber[0] == '\0' || r.date[0] == '\0') continue;
    // Compared with the record directly before, written or not: the array is
    // sorted, so each employee and day is written once.
    if (i > 0 && sameEmployeeAndDay(r, bookings[i - 1])) continue;
    // A failed write is remembered by the writer and reported by close().
    out.printf("%-20s,%-8s,%s\n", r.schema, r.personnelNumber, formatDate(r));
  }
  return out.close();
}
