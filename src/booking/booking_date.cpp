#include "booking/booking_date.h"

#include <cstdio>
#include <cstring>

namespace {
// The date field may be shorter than six characters (a zero byte in the
// input); each two-character piece is then cut short, never read past the field.
const char* piece(const char* date, size_t at) { return date + strnlen(date, at); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }
int twoDigits(const char* s) { return (s[0] - '0') * 10 + (s[1] - '0'); }
}  // namespace

int bookingDayText(const BookingRecord& record, char* dst, int cap) {
  const char* d = record.date;
  int n = std::snprintf(dst, static_cast<size_t>(cap), "20%.2s-%.2s-%.2s 00:00:00", piece(d, 4),
                        piece(d, 2), d);
  return n >= 0 && n < cap ? 0 : -1;
}

int bookingTimeText(const BookingRecord& record, char* dst, int cap) {
  const char* d = record.date;
  const char* t = record.time;
  int n = std::snprintf(dst, static_cast<size_t>(cap), "20%.2s-%.2s-%.2s %.2s:%.2s:00", piece(d, 4),
                        piece(d, 2), d, t, piece(t, 2));
  return n >= 0 && n < cap ? 0 : -1;
}

int32_t bookingDateNumber(const BookingRecord& record) {
  const char* d = record.date;
  for (int i = 0; i < 6; ++i)
    if (!isDigit(d[i])) return kNoValidDateNumber;
  return (2000 + twoDigits(d + 4)) * 10000 + twoDigits(d + 2) * 100 + twoDigits(d);
}

bool isRealBookingDay(const BookingRecord& record) {
  return bookingDateNumber(record) != kNoValidDateNumber && isRealDayNumber(bookingDateNumber(record));
}

bool isRealBookingTime(const BookingRecord& record) {
  const char* t = record.time;
  for (int i = 0; i < 4; ++i)
    if (!isDigit(t[i])) return false;
  return twoDigits(t) <= 23 && twoDigits(t + 2) <= 59;
}
