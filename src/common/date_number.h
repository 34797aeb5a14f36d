#pragma once
// Dates as the eight-digit numbers YYYYMMDD that the run log stores through
// SQL Server's conversion style 112.

#include <cstdint>

/// The date number that stands for a date with no valid day (19000101, the
/// first day SQL Server's style 112 and every datetime column accept).
inline constexpr int32_t kNoValidDateNumber = 19000101;

/// Whether the number YYYYMMDD names a day of the calendar (years 1753-9999,
/// the range of a datetime column).
bool isRealDayNumber(int32_t yyyymmdd);

/// The number itself when it names a real day, else kNoValidDateNumber.
int32_t storableDateNumber(int32_t yyyymmdd);
