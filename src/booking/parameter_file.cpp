#include "booking/parameter_file.h"

#include <cstring>

#include "common/append_file.h"

namespace {
/// Widths of a line's columns as appendParameterLines pads them.
constexpr size_t kSchemaColumn = 20;
constexpr size_t kPersonnelNumberColumn = 8;
/// "DD.MM.20YY": D, M and Y digits.
constexpr std::string_view kDatePattern = "99.99.2099";

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

bool isParameterLine(std::string_view text) {
  if (text.size() < kSchemaColumn + 1 + kPersonnelNumberColumn + 1 + kDatePattern.size()) return false;
  if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  const std::string_view date = text.substr(text.size() - kDatePattern.size());
  for (size_t i = 0; i < kDatePattern.size(); ++i) {
    const bool digit = date[i] >= '0' && date[i] <= '9';
    if (kDatePattern[i] == '9' ? !digit : date[i] != kDatePattern[i]) return false;
  }
  const std::string_view columns = text.substr(0, text.size() - kDatePattern.size());
  if (columns.back() != ',') return false;
  // A schema may hold a comma: any comma that leaves both columns their
  // widths separates them.
  const size_t last = columns.size() - 1 - kPersonnelNumberColumn - 1;
  for (size_t p = kSchemaColumn; p <= last; ++p)
    if (columns[p] == ',') return true;
  return false;
}

int appendParameterLines(const std::vector<BookingRecord>& bookings, size_t count, std::string& text) {
  char date[kListDateCapacity];
  char line[160];
  if (count > bookings.size()) count = bookings.size();
  for (size_t i = 0; i < count; ++i) {
    const BookingRecord& r = bookings[i];
    if (r.personnelNumber[0] == '\0' || r.date[0] == '\0') continue;
    // Compared with the record directly before, written or not: the array is
    // sorted, so each employee and day is written once.
    if (i > 0 && sameEmployeeAndDay(r, bookings[i - 1])) continue;
    int n = std::snprintf(line, sizeof line, "%-20s,%-8s,%s\n", r.schema, r.personnelNumber, formatListDate(r, date));
    if (n < 0 || static_cast<size_t>(n) >= sizeof line) return -1;  // never a cut line
    // Written as Windows text mode writes: every LF, also one inside a
    // field, as CR LF.
    try {
      for (int k = 0; k < n; ++k) {
        if (line[k] == '\n') text += '\r';
        text += line[k];
      }
    } catch (...) {
      return -1;
    }
  }
  return 0;
}

int writeParameterFile(const std::vector<BookingRecord>& bookings, const char* path) {
  std::string text;
  if (appendParameterLines(bookings, bookings.size(), text) != 0) return -1;
  AppendFile file;
  if (file.open(path) != 0) return -1;
  if (file.append(text) != 0) return -1;
  return file.close();
}
