#pragma once
// Reading the booking file: fixed 32-character groups into zero-filled
// records of a growing array.

#include <vector>

#include "booking/booking_record.h"

struct TextReader;

/// Reads one 32-character group (date 6, time 6, badge 13, workstation 7) into
/// a zero-filled record. Returns true when all 32 characters were read.
bool readBookingGroup(TextReader& input, BookingRecord& record);

/// Appends a zero-filled record to the booking array. Returns a pointer to it,
/// or nullptr when memory runs out (the array is then unchanged).
BookingRecord* appendEmptyBooking(std::vector<BookingRecord>& bookings);
