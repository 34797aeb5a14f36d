#pragma once

#include <vector>

#include "booking/booking_record.h"

/// The record's date DDMMYY as DD.MM.20YY, in a process-wide buffer (capacity
/// 32) that the next call overwrites.
const char* formatDate(const BookingRecord& record);

/// Prints "Sortierte Liste:" and one line "personnel number,date" per record.
void printSortedList(const std::vector<BookingRecord>& bookings);

/// Appends one line per employee and day to the parameter file (created when
/// missing). Returns 0, or -1 when it cannot be opened or any write or the
/// close fails.
int writeOutputList(const std::vector<BookingRecord>& bookings, const char* path);
