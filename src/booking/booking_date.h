#pragma once
// The booking's date and time as the statements and the run log want them:
// convert-style-120 texts and the number YYYYMMDD.

#include <cstdint>

#include "booking/booking_record.h"
#include "common/date_number.h"

/// Capacity of the day text "20YY-MM-DD 00:00:00" (19 characters and terminator).
inline constexpr int kDayTextCapacity = 20;

/// Writes the booking day as "20YY-MM-DD 00:00:00" (convert style 120) from
/// the date field DDMMYY into dst. Returns 0, or -1 when dst is too small.
int bookingDayText(const BookingRecord& record, char* dst, int cap);

/// Writes "20YY-MM-DD HH:MM:00" from the date and time fields. Returns 0, or -1
/// when dst is too small.
int bookingTimeText(const BookingRecord& record, char* dst, int cap);

/// The booking date as the number whose digits are "20", YY, MM, DD of the
/// date field, whether or not they name a real day (20070132 for day 32), or
/// kNoValidDateNumber when the field is not six digits.
int32_t bookingDateNumber(const BookingRecord& record);

/// Whether the date field names a real day of 2000-2099: six digits, a month
/// of 1-12 and a day within it. Returns true or false.
bool isRealBookingDay(const BookingRecord& record);

/// Whether the time field starts with hours 00-23 and minutes 00-59 (the
/// seconds are never sent). Returns true or false.
bool isRealBookingTime(const BookingRecord& record);
