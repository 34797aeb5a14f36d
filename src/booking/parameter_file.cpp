#include "booking/parameter_file.h"

#include <cstring>

#include "common/text_file.h"

namespace {
bool sameEmployeeAndDay(const BookingRecord& a, const BookingRecord& b) {
  return std::strcmp(a.personnelNumber, b.personnelNumber) == 0 && std::strcmp(a.date, b.date) == 0;
}
}  // namespace

const char* formatListDate(const BookingRecord& record, char (&dst)[kListDateCapacity]) {
  // The century is always 20. A short date field leaves the missing pieces
  // empty rather than reading past the field.
  const char* d = record.date;
  std::snprintf(dst, sizeof dst, "%.2s.%.2s.20%.2s", d, d + strnlen(d, 2), d + strnlen(d, 4));
  return dst;
}

void printSortedList(FILE* out, const std::vector<BookingRecord>& bookings) {
  std::fprintf(out, "Sortierte Liste:\n");
  char date[kListDateCapacity];
  for (const BookingRecord& r : bookings) std::fprintf(out, "%s,%s\n", r.personnelNumber, formatListDate(r, date));
}

int writeParameterFile(const std::vector<BookingRecord>& bookings, const char* path) {
  TextWriter out;
  if (out.openAppend(path) != 0) return -1;
  char date[kListDateCapacity];
  for (size_t i = 0; i < bookings.size(); ++i) {
    const BookingRecord& r = bookings[i];
    if (r.personnelNumber[0] == '\0' || r.date[0] == '\0') continue;
    // Compared with the record directly before, written or not: the array is
    // sorted, so each employee and day is written once.
    if (i > 0 && sameEmployeeAndDay(r, bookings[i - 1])) continue;
    // A failed write is remembered by the writer and reported by close().
    out.printf("%-20s,%-8s,%s\n", r.schema, r.personnelNumber, formatListDate(r, date));
  }
  return out.close();
}
