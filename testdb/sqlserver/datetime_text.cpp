#include "sqlserver/datetime_text.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace testdb {
namespace {

struct Cursor {
  std::string_view s;
  size_t pos = 0;
  bool end() const { return pos >= s.size(); }
  char peek() const { return end() ? '\0' : s[pos]; }
  bool isDigit() const { return !end() && s[pos] >= '0' && s[pos] <= '9'; }
};

// Reads between minDigits and maxDigits digits; returns the count read (0 when
// fewer than minDigits were there, in which case nothing is consumed).
int readNumber(Cursor& c, int minDigits, int maxDigits, int& value) {
  size_t start = c.pos;
  int n = 0;
  value = 0;
  while (n < maxDigits && c.isDigit()) {
    value = value * 10 + (c.s[c.pos] - '0');
    ++c.pos;
    ++n;
  }
  if (n < minDigits) {
    c.pos = start;
    return 0;
  }
  return n;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Moves the millisecond value onto datetime's 1/300 s grid, carrying upwards.
void roundMillis(DateTime& dt, int ms) {
  int last = ms % 10;
  int base = ms - last;
  int rounded = last <= 1 ? base : last <= 4 ? base + 3 : last <= 8 ? base + 7 : base + 10;
  if (rounded < 1000) {
    dt.millis = rounded;
    return;
  }
  dt.millis = 0;
  if (++dt.second < 60) return;
  dt.second = 0;
  if (++dt.minute < 60) return;
  dt.minute = 0;
  if (++dt.hour < 24) return;
  dt.hour = 0;
  if (++dt.day <= daysInMonth(dt.year, dt.month)) return;
  dt.day = 1;
  if (++dt.month <= 12) return;
  dt.month = 1;
  ++dt.year;
}

// hh:mi[:ss[.fff]] with an optional AM/PM. Returns 0, 241 or 242.
int parseTime(Cursor& c, DateTime& dt, int& ms) {
  int h = 0, mi = 0, sec = 0;
  if (!readNumber(c, 1, 2, h)) return kConversionFailed;
  if (c.peek() != ':') return kConversionFailed;
  ++c.pos;
  if (!readNumber(c, 1, 2, mi)) return kConversionFailed;
  if (c.peek() == ':') {
    ++c.pos;
    if (!readNumber(c, 1, 2, sec)) return kConversionFailed;
    if (c.peek() == '.' || c.peek() == ':') {
      ++c.pos;
      int digits = readNumber(c, 1, 3, ms);
      if (!digits) return kConversionFailed;
      for (int i = digits; i < 3; ++i) ms *= 10;
      if (c.isDigit()) return kConversionFailed;
    }
  }
  while (c.peek() == ' ') ++c.pos;
  if (!c.end()) {
    char a = c.peek();
    if ((a == 'A' || a == 'a' || a == 'P' || a == 'p') && c.pos + 1 < c.s.size() &&
        (c.s[c.pos + 1] == 'M' || c.s[c.pos + 1] == 'm')) {
      if (h < 1 || h > 12) return kOutOfRange;
      h = (h % 12) + ((a == 'P' || a == 'p') ? 12 : 0);
      c.pos += 2;
    }
  }
  if (h > 23 || mi > 59 || sec > 59) return kOutOfRange;
  dt.hour = h;
  dt.minute = mi;
  dt.second = sec;
  return 0;
}

// The date part: yyyymmdd, yymmdd or yyyy-mm-dd (also / and . as separators).
int parseDate(Cursor& c, DateTime& dt) {
  size_t start = c.pos;
  int y = 0, m = 0, d = 0;
  int digits = readNumber(c, 1, 8, y);
  if (digits == 8 || (digits == 6 && c.peek() != '-' && c.peek() != '/' && c.peek() != '.')) {
    int all = y;
    if (digits == 8) {
      y = all / 10000;
    } else {
      int yy = all / 10000;
      y = yy < 50 ? 2000 + yy : 1900 + yy;
    }
    m = all / 100 % 100;
    d = all % 100;
  } else if (digits == 4) {
    char sep = c.peek();
    if (sep != '-' && sep != '/' && sep != '.') return kConversionFailed;
    ++c.pos;
    if (!readNumber(c, 1, 2, m)) return kConversionFailed;
    if (c.peek() != sep) return kConversionFailed;
    ++c.pos;
    if (!readNumber(c, 1, 2, d)) return kConversionFailed;
    if (c.isDigit()) return kConversionFailed;
  } else {
    c.pos = start;
    return kConversionFailed;
  }
  if (y < 1753 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return kOutOfRange;
  dt.year = y;
  dt.month = m;
  dt.day = d;
  return 0;
}

}  // namespace

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

int parseDateTime(std::string_view text, int style, DateTime& out) {
  // Style 120/121/20/21 and 112 read the same ISO forms here; other styles are
  // read the same way, which is what SQL Server does for these unambiguous forms.
  (void)style;
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  Cursor c{text.substr(b, e - b)};
  DateTime dt;
  if (c.end()) {
    // An empty text is 1900-01-01 00:00:00.000 in SQL Server.
    out = dt;
    return 0;
  }
  int ms = 0;
  // A time alone (hh:mi...) is a time on 1900-01-01.
  size_t probe = 0;
  while (probe < c.s.size() && c.s[probe] >= '0' && c.s[probe] <= '9') ++probe;
  bool timeOnly = probe > 0 && probe <= 2 && probe < c.s.size() && c.s[probe] == ':';
  if (!timeOnly) {
    int rc = parseDate(c, dt);
    if (rc) return rc;
    if (!c.end()) {
      if (c.peek() != ' ' && c.peek() != 'T') return kConversionFailed;
      while (c.peek() == ' ') ++c.pos;
      if (c.peek() == 'T') ++c.pos;
    }
  }
  if (!c.end()) {
    int rc = parseTime(c, dt, ms);
    if (rc) return rc;
    if (!c.end()) return kConversionFailed;
  }
  roundMillis(dt, ms);
  if (dt.year > 9999) return kOutOfRange;
  out = dt;
  return 0;
}

std::string canonicalText(const DateTime& dt) {
  char buf[128];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.year, dt.month, dt.day, dt.hour,
           dt.minute, dt.second, dt.millis);
  return buf;
}

int formatStyle(const DateTime& dt, int style, std::string& out) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[128];
  switch (style) {
    case 0:
    case 100: {
      int h12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
      snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", kMonths[dt.month - 1], dt.day, dt.year, h12,
               dt.minute, dt.hour < 12 ? "AM" : "PM");
      break;
    }
    case 20:
    case 120:
      snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month, dt.day, dt.hour, dt.minute,
               dt.second);
      break;
    case 21:
    case 25:
    case 121: out = canonicalText(dt); return 0;
    case 23: snprintf(buf, sizeof buf, "%04d-%02d-%02d", dt.year, dt.month, dt.day); break;
    case 104: snprintf(buf, sizeof buf, "%02d.%02d.%04d", dt.day, dt.month, dt.year); break;
    case 108:
    case 8: snprintf(buf, sizeof buf, "%02d:%02d:%02d", dt.hour, dt.minute, dt.second); break;
    case 112: snprintf(buf, sizeof buf, "%04d%02d%02d", dt.year, dt.month, dt.day); break;
    default: return -1;
  }
  out = buf;
  return 0;
}

DateTime localNow() {
  auto now = std::chrono::system_clock::now();
  time_t t = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  struct tm lt {};
  localtime_r(&t, &lt);
  DateTime dt;
  dt.year = lt.tm_year + 1900;
  dt.month = lt.tm_mon + 1;
  dt.day = lt.tm_mday;
  dt.hour = lt.tm_hour;
  dt.minute = lt.tm_min;
  dt.second = lt.tm_sec;
  roundMillis(dt, ms);
  return dt;
}

}  // namespace testdb
