#pragma once
// The order the run stores and lists its bookings in.

#include <vector>

#include "booking/booking_record.h"

/// Orders by personnel number, then by date text (DDMMYY, so day first), both
/// compared as unsigned bytes. Returns negative, zero or positive.
int compareBookings(const BookingRecord& a, const BookingRecord& b);

/// Sorts the array ascending by compareBookings.
void sortBookings(std::vector<BookingRecord>& bookings);
