#include "common/date_number.h"

namespace {
int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}
}  // namespace

bool isRealDayNumber(int32_t yyyymmdd) {
  int year = yyyymmdd / 10000;
  int month = yyyymmdd / 100 % 100;
  int day = yyyymmdd % 100;
  if (year < 1753 || year > 9999 || month < 1 || month > 12) return false;
  return day >= 1 && day <= daysInMonth(year, month);
}

int32_t storableDateNumber(int32_t yyyymmdd) {
  return isRealDayNumber(yyyymmdd) ? yyyymmdd : kNoValidDateNumber;
}
