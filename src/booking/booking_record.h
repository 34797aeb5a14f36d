#pragma once
// One booking as the run holds it: the four fields read from the booking file
// and the three the lookups resolve. Every field is a fixed-width text that a
// fresh, zero-filled record keeps terminated whatever the input holds.

/// Field widths as stored (each capacity counts the terminator).
struct BookingRecord {
  /// Booking date, DDMMYY, as read.
  char date[7];
  /// Booking time, HHMMSS, as read; the insert sets the seconds to "00".
  char time[7];
  /// Badge number (AswNum), trailing white space removed.
  char badge[14];
  /// Workstation number (KstApz), trailing white space and leading zeros removed.
  char workstation[8];
  /// Tenant's schema name (MndSch) from the tenant lookup; empty when unresolved.
  char schema[21];
  /// Personnel number (AswPnr) from the badge lookup; empty when unresolved.
  char personnelNumber[9];
  /// Cost centre (KstNum) from the workstation lookup; empty when unresolved.
  char costCentre[31];
};
