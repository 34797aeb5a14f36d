#pragma once
// The two lists the run makes of its sorted bookings: the parameter file of
// the follow-on tool, one line per employee and day, and the sorted list it
// prints beside it. Both show the booking date as DD.MM.20YY.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "booking/booking_record.h"

/// Capacity of a date as the lists show it ("DD.MM.20YY" and the terminator,
/// with room to spare).
inline constexpr size_t kListDateCapacity = 32;

/// Writes the record's date DDMMYY as DD.MM.20YY into dst; a short date field
/// leaves its missing pieces empty. Returns dst.
const char* formatListDate(const BookingRecord& record, char (&dst)[kListDateCapacity]);

/// Prints "Sortierte Liste:" and one line "personnel number,date" per record
/// to out.
void printSortedList(FILE* out, const std::vector<BookingRecord>& bookings);

/// Appends to text the parameter-file lines of the first count bookings, one
/// per employee and day, each ending in CR LF as the file holds them.
/// Returns 0, or -1 when memory ran out (text then holds a part).
int appendParameterLines(const std::vector<BookingRecord>& bookings, size_t count, std::string& text);

/// True when text (without its line end) has the form of the program's own
/// parameter-file lines: a schema of at least 20 characters, a comma, a
/// personnel number of at least 8, a comma and DD.MM.20YY. Returns true or
/// false.
bool isParameterLine(std::string_view text);

/// Appends the lines of all bookings to the parameter file (created when
/// missing) in one piece. Returns 0, or -1 when it cannot be opened or the
/// write or the close fails (the file then is as it was).
int writeParameterFile(const std::vector<BookingRecord>& bookings, const char* path);
