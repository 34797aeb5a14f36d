#pragma once

#include <cstdint>

#include "booking/booking_record.h"

/// Capacity of the day text "20YY-MM-DD 00:00:00" (19 characters and terminator).
inline constexpr int kDayTextCapacity = 20;

/// Writes the booking day as "20YY-MM-DD 00:00:00" (convert style 120) from
/// the date field DDMMYY into dst. Returns 0, or -1 when dst is too small.
int bookingDayText(const BookingRecord& record, char* dst, int cap);

/// Writes "20YY-MM-DD HH:MM:00" from the date and time fields. Returns 0, or -1
/// when dst is too small.
int bookingTimeText(const BookingRecord& record, char* dst, int cap);

/// The date number that stands for a date with no valid day (19000101, the
/// first day SQL Server's style 112 and every datetime column accept).
inline constexpr int32_t kNoValidDateNumber = 19000101;

/// The booking date as the number 20YYMMDD, or kNoValidDateNumber when the date
/// field is not six digits naming a real day.
int32_t bookingDateNumber(const BookingRecord& record);
