#pragma once

struct BookingRecord;

/// Cuts trailing white space in place (see the .cpp for the exact walk).
/// Returns 0, or -1 when given no text.
int trimRight(char* text);

/// Removes the leading '0' characters in place. Returns 0, or -1 when given no text.
int stripLeadingZeros(char* text);

/// Normalises a freshly read group: trims badge and workstation, strips the
/// workstation's leading zeros. Date and time stay as read.
void normaliseBooking(BookingRecord& record);
