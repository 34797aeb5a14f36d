#pragma once

#include "booking/booking_record.h"

/// Capacity of the cost-centre change identifier (32 characters).
inline constexpr int kIdentifierCapacity = 33;

/// Function code of a cost-centre change booking.
inline constexpr int kCostCentreChangeFunction = 25;

/// Inserts the booking as one KVS321BCH row with the identifier. Returns 0, or
/// -1 when no statement could be allocated or built (diagRecord unchanged) or
/// the INSERT failed (diagRecord holds its diagnostic).
int SQLInsertKvs321Bch(const BookingRecord& record, const char* identifier);
