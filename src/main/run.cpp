#include "main/run.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "booking/booking_date.h"
#include "booking/booking_reader.h"
#include "booking/booking_record.h"
#include "booking/booking_sort.h"
#include "booking/parameter_file.h"
#include "booking/normalise.h"
#include "booking/parameter_file.h"
#include "common/text_file.h"
#include "common/field.h"
#include "common/text_file.h"
#include "common/trace.h"
#include "db/booking_insert.h"
#include "db/connection.h"
#include "db/lookups.h"
#include "runlog/runlog.h"
#include "settings/ini_reader.h"

namespace {
/// Capacity of each connection setting (199 characters).
constexpr int kSettingCapacity = 200;
/// The program's error number for a booking that could not be stored.
constexpr int32_t kInsertFailedErrorNumber = 1065;

void printUsage() {
  std::printf("Syntax: dulmar <Ini-Datei> <Quelle> <Parm-Datei>");
  std::printf(" [<KSW-Bezeichner>]\n\n");
  std::printf("Ini-Datei  :\n KORVANDEL-Ini-Datei\n\n");
  std::printf("Quelle     :\n Datei mit Kostenstellenwechsel-Buchungen.\n\n");
  std::printf("Parm-Datei :\n Parameter-Datei fuer RZP.\n\n");
  std::printf("KSW-Bez.   :\n Kostenstellenwechsel-Bezeichner ");
  std::printf("(Default: \"KSW\")\n\n");
}

/// Resolves personnel number, schema and cost centre of a freshly read
/// record, printing the trace and a message for each failed lookup.
void resolveBooking(BookingRecord& record) {
  char licence[kLicenceCapacity] = {};
  char tenant[kTenantCapacity] = {};

  record.personnelNumber[0] = '\0';
  if (SQLSelectKvs301Asw(record, licence, tenant) != 0) {
    std::printf("Zur Ausweisnummer (%s) konnte keine Personalnummer entnommen werden.\n", record.badge);
    return;
  }
  record.schema[0] = '\0';
  if (SQLSelectKvs112Mnd(licence, tenant, record.schema) != 0)
    std::printf("-Schemaname konnte der Mandantentabelle nicht entnommen werden:\n  Liz: %s, Mnd: %s, Kon: %i\n",
                licence, tenant, 0);
  trimRight(record.personnelNumber);
  if (traceLevel >= 1) std::printf("Personalnummer: <%s>\n", record.personnelNumber);

  record.costCentre[0] = '\0';
  if (SQLSelectO1003KstStelle(record.workstation, record.costCentre) != 0) {
    std::printf("Zum Arbeitsplatz (%s) konnte keine Kostenstelle entnommen werden.\n", record.workstation);
    return;
  }
  trimRight(record.costCentre);
  if (traceLevel >= 1) std::printf("Kostenstelle: <%s>\n", record.costCentre);
}

/// Reads every whole group of the booking file into bookings, resolving each.
/// Returns 0, or -1 when memory ran out (after a message).
int readBookings(TextReader& input, std::vector<BookingRecord>& bookings) {
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    if (record == nullptr) {
      std::printf("Nicht genug Speicher fuer die Buchungen (%lu eingelesen).\n",
                  static_cast<unsigned long>(bookings.size()));
      return -1;
    }
    if (!readBookingGroup(input, *record)) {
      bookings.pop_back();  // the incomplete group at the end is not a booking
      return 0;
    }
    normaliseBooking(*record);
    if (traceLevel >= 1)
      std::printf("[%d]: <%s>, <%s>, <%s>, <%s> eingelesen.\n", static_cast<int>(bookings.size()), record->date,
                  record->time, record->badge, record->workstation);
    resolveBooking(*record);
  }
}

void reportFailedInsert(int result, const BookingRecord& r, const char* identifier) {
  std::printf("Fehler beim Einfuegen der Buchung in Kvs321Bch (%d)\n", result);
  std::printf("Schemaname:  <%s>\n", r.schema);
  std::printf("Personalnummer:  <%s>\n", r.personnelNumber);
  std::printf("Buchungsdatum:   <%s>\n", r.date);
  std::printf("Buchungsuhrzeit: <%s>\n", r.time);
  std::printf("Funktionscode:   <%d>\n", kCostCentreChangeFunction);
  std::printf("Funktionsname:   <%s>\n", identifier);
  std::printf("Kostenstelle:    <%s>\n", r.costCentre);
  std::printf("\nSQL-Fehler:\n");
  // A date field that names no real day is printed as its digits; its
  // run-log row gets a date the server accepts (see logSetError).
  reportError("Kvs321Bch", r.personnelNumber, bookingDateNumber(r), kInsertFailedErrorNumber, "SQLInsertKvs321Bch",
              kDetailFromDiagnostic);
}

void insertBookings(std::vector<BookingRecord>& bookings, const char* identifier) {
  for (BookingRecord& r : bookings) {
    // Bookings are stored to the minute.
    if (strnlen(r.time, sizeof r.time) == sizeof r.time - 1) {
      r.time[sizeof r.time - 3] = '0';
      r.time[sizeof r.time - 2] = '0';
    }
    int result = SQLInsertKvs321Bch(r, identifier);
    if (result != 0) reportFailedInsert(result, r, identifier);
  }
}
}  // namespace

int runDulmar(int argc, const char* const* argv) {
  if (argc != 4 && argc != 5) {
    printUsage();
    return 1;
  }
  const char* settingsPath = argv[1];
  const char* bookingPath = argv[2];
  const char* parameterPath = argv[3];

  std::printf("dulmar: Start.\n");

  TextReader settingsFile;
  int settingsOpened = settingsFile.open(settingsPath);
  logInit(argc, argv, "DULMAR", runLogRecord);
  if (settingsOpened != 0) {
    std::printf("KORVANDEL.INI not found\n");
    return 1;
  }
  settingsFile.close();

  char dataSource[kSettingCapacity] = {};
  char login[kSettingCapacity] = {};
  char password[kSettingCapacity] = {};
  readSetting(settingsPath, "DATABASE", dataSource);
  readSetting(settingsPath, "LOGIN", login);
  readSetting(settingsPath, "PASS", password);

  if (int rc = dbConnect(login, password, dataSource); rc != 0) {
    std::printf("dbConnect_Error: %d\n", rc);
    return 1;
  }

  TextReader bookingFile;
  if (bookingFile.open(bookingPath) != 0) {
    // 0xF6 is the Windows-1252 o-umlaut; the message has no line feed.
    std::printf("Fehler beim \xF6"
                "ffnen der Datei: %s",
                bookingPath);
    return 1;
  }

  char identifier[kIdentifierCapacity] = "KSW";
  if (argc == 5) {
    copyField(identifier, argv[4]);
    std::printf("Kostenstellenwechsel-Bezeichner: <%s>\n", identifier);
  }

  std::vector<BookingRecord> bookings;
  if (readBookings(bookingFile, bookings) != 0) return 1;
  bookingFile.close();

  sortBookings(bookings);
  if (traceLevel >= 2) printSortedList(stdout, bookings);

  insertBookings(bookings, identifier);

  if (writeParameterFile(bookings, parameterPath) != 0) {
    std::printf("Fehler beim oeffnen der Datei: %s\n", parameterPath);
    return 1;
  }
  std::printf("dulmar: Ende.\n");
  return 0;
}
