#pragma once
// Test helper: booking records filled in as the sort and the lists see them.

#include "booking/booking_record.h"
#include "common/field.h"

/// A zero-filled record with personnel number, date, schema and time set.
inline BookingRecord testBooking(const char* pnr, const char* date, const char* schema = "S1",
                                 const char* time = "080000") {
  BookingRecord r{};
  copyField(r.personnelNumber, pnr);
  copyField(r.date, date);
  copyField(r.schema, schema);
  copyField(r.time, time);
  return r;
}
