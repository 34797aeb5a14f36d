#pragma once
// The clean-up a booking gets after it is read: white space trimmed from the
// badge and workstation, leading zeros from the workstation.

struct BookingRecord;

/// Cuts trailing white space in place. Walking back from the end, it passes
/// over punctuation and bytes 0x80-0xFF, cuts at every white-space character
/// and stops at the first ASCII letter or digit: "AB -;" becomes "AB", while
/// "AB-" keeps its hyphen. Returns 0, or -1 when given no text.
int trimRight(char* text);

/// Removes the leading '0' characters in place. Returns 0, or -1 when given no text.
int stripLeadingZeros(char* text);

/// Normalises a freshly read group: trims badge and workstation, strips the
/// workstation's leading zeros. Date and time stay as read.
void normaliseBooking(BookingRecord& record);
