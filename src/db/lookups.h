#pragma once
// The master-data lookups that resolve a booking before it is stored. Each
// returns 0 when a row was found and its values fit, -1 when the statement
// could not be allocated, built or executed, and otherwise SQLFetch's code
// (SQL_NO_DATA, 100, for no row). None of them fills diagRecord.

#include "booking/booking_record.h"

/// Capacity of the licence number returned by the badge lookup.
inline constexpr int kLicenceCapacity = 8;
/// Capacity of the tenant number returned by the badge lookup.
inline constexpr int kTenantCapacity = 24;

/// Badge lookup: the personnel number valid on the booking day and its tenant
/// keys. Returns 0 and fills record.personnelNumber, licence and tenant.
int SQLSelectKvs301Asw(BookingRecord& record, char (&licence)[kLicenceCapacity],
                       char (&tenant)[kTenantCapacity]);

/// Tenant schema lookup. Returns 0 and fills schema; -1 without a statement
/// unless licence and tenant are decimal integers.
int SQLSelectKvs112Mnd(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema]);

/// Cost-centre lookup of a normalised workstation. Returns 0 and fills costCentre.
int SQLSelectO1003KstStelle(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre]);
