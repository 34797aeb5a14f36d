#include "main/run.h"

#include <cstring>
#include <vector>

#include "booking/booking_date.h"
#include "booking/booking_reader.h"
#include "booking/booking_record.h"
#include "booking/booking_sort.h"
#include "booking/normalise.h"
#include "booking/parameter_file.h"
#include "common/field.h"
#include "common/text_file.h"
#include "runlog/runlog.h"
#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

namespace {
/// Capacity of each connection setting (199 characters).
constexpr int kSettingCapacity = 200;
/// The program's error number for a booking that could not be stored.
constexpr int32_t kInsertFailedErrorNumber = 1065;

/// What the steps of one run share.
struct Run {
  BookingStore& store;
  RunLog& log;
  FILE* out;
  /// The last failure the database diagnosed; reports show it.
  Diagnostic lastDiagnostic;
};

void printUsage(FILE* out) {
  std::fprintf(out, "Syntax: dulmar <Ini-Datei> <Quelle> <Parm-Datei>");
  std::fprintf(out, " [<KSW-Bezeichner>]\n\n");
  std::fprintf(out, "Ini-Datei  :\n KORVANDEL-Ini-Datei\n\n");
  std::fprintf(out, "Quelle     :\n Datei mit Kostenstellenwechsel-Buchungen.\n\n");
  std::fprintf(out, "Parm-Datei :\n Parameter-Datei fuer RZP.\n\n");
  std::fprintf(out, "KSW-Bez.   :\n Kostenstellenwechsel-Bezeichner ");
  std::fprintf(out, "(Default: \"KSW\")\n\n");
}

/// Resolves personnel number, schema and cost centre of a freshly read
/// record, printing the trace and a message for each failed lookup.
void resolveBooking(Run& run, BookingRecord& record) {
  char licence[kLicenceCapacity] = {};
  char tenant[kTenantCapacity] = {};

  record.personnelNumber[0] = '\0';
  if (run.store.lookUpBadge(record, licence, tenant) != 0) {
    std::fprintf(run.out, "Zur Ausweisnummer (%s) konnte keine Personalnummer entnommen werden.\n", record.badge);
    return;
  }
  record.schema[0] = '\0';
  if (run.store.lookUpSchema(licence, tenant, record.schema) != 0)
    std::fprintf(run.out,
                 "-Schemaname konnte der Mandantentabelle nicht entnommen werden:\n  Liz: %s, Mnd: %s, Kon: %i\n",
                 licence, tenant, 0);
  trimRight(record.personnelNumber);
  std::fprintf(run.out, "Personalnummer: <%s>\n", record.personnelNumber);

  record.costCentre[0] = '\0';
  if (run.store.lookUpCostCentre(record.workstation, record.costCentre) != 0) {
    std::fprintf(run.out, "Zum Arbeitsplatz (%s) konnte keine Kostenstelle entnommen werden.\n", record.workstation);
    return;
  }
  trimRight(record.costCentre);
  std::fprintf(run.out, "Kostenstelle: <%s>\n", record.costCentre);
}

/// Reads every whole group of the booking file into bookings, resolving each.
/// Returns 0, or -1 when memory ran out (after a message).
int readBookings(Run& run, TextReader& input, std::vector<BookingRecord>& bookings) {
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    if (record == nullptr) {
      std::fprintf(run.out, "Nicht genug Speicher fuer die Buchungen (%lu eingelesen).\n",
                   static_cast<unsigned long>(bookings.size()));
      return -1;
    }
    if (!readBookingGroup(input, *record)) {
      bookings.pop_back();  // the incomplete group at the end is not a booking
      return 0;
    }
    normaliseBooking(*record);
    std::fprintf(run.out, "[%d]: <%s>, <%s>, <%s>, <%s> eingelesen.\n", static_cast<int>(bookings.size()), record->date,
                 record->time, record->badge, record->workstation);
    resolveBooking(run, *record);
  }
}

void reportFailedInsert(Run& run, int result, const BookingRecord& r, const char* identifier) {
  std::fprintf(run.out, "Fehler beim Einfuegen der Buchung in Kvs321Bch (%d)\n", result);
  std::fprintf(run.out, "Schemaname:  <%s>\n", r.schema);
  std::fprintf(run.out, "Personalnummer:  <%s>\n", r.personnelNumber);
  std::fprintf(run.out, "Buchungsdatum:   <%s>\n", r.date);
  std::fprintf(run.out, "Buchungsuhrzeit: <%s>\n", r.time);
  std::fprintf(run.out, "Funktionscode:   <%d>\n", kCostCentreChangeFunction);
  std::fprintf(run.out, "Funktionsname:   <%s>\n", identifier);
  std::fprintf(run.out, "Kostenstelle:    <%s>\n", r.costCentre);
  std::fprintf(run.out, "\nSQL-Fehler:\n");
  // A date field that names no real day is printed as its digits; its
  // run-log row gets a date the server accepts (see logSetError).
  run.log.reportError(run.lastDiagnostic, "Kvs321Bch", r.personnelNumber, bookingDateNumber(r),
                      kInsertFailedErrorNumber, "SQLInsertKvs321Bch");
}

void insertBookings(Run& run, std::vector<BookingRecord>& bookings, const char* identifier) {
  for (BookingRecord& r : bookings) {
    // Bookings are stored to the minute.
    if (strnlen(r.time, sizeof r.time) == sizeof r.time - 1) {
      r.time[sizeof r.time - 3] = '0';
      r.time[sizeof r.time - 2] = '0';
    }
    int result = run.store.insertBooking(r, identifier, run.lastDiagnostic);
    if (result != 0) reportFailedInsert(run, result, r, identifier);
  }
}
}  // namespace

int runDulmar(int argc, const char* const* argv, BookingStore& store, FILE* out) {
  if (argc != 4 && argc != 5) {
    printUsage(out);
    return 1;
  }
  const char* settingsPath = argv[1];
  const char* bookingPath = argv[2];
  const char* parameterPath = argv[3];

  std::fprintf(out, "dulmar: Start.\n");

  TextReader settingsFile;
  int settingsOpened = settingsFile.open(settingsPath);
  RunLog log(argc, argv, "DULMAR", store, out);
  Run run{store, log, out, Diagnostic{}};
  if (settingsOpened != 0) {
    std::fprintf(out, "KORVANDEL.INI not found\n");
    return 1;
  }
  settingsFile.close();

  char dataSource[kSettingCapacity] = {};
  char login[kSettingCapacity] = {};
  char password[kSettingCapacity] = {};
  readSetting(settingsPath, "DATABASE", dataSource);
  readSetting(settingsPath, "LOGIN", login);
  readSetting(settingsPath, "PASS", password);

  int connected = store.connect(login, password, dataSource, run.lastDiagnostic);
  wipeBytes(password, sizeof password);
  if (connected != 0) {
    const Diagnostic& d = run.lastDiagnostic;
    if (d.recorded)
      std::fprintf(out, "Connect Error: SQLCode: %ld sqlState: %s Msg: %s\n", static_cast<long>(d.nativeError), d.state,
                   d.message);
    std::fprintf(out, "dbConnect_Error: %d\n", connected);
    return 1;
  }

  TextReader bookingFile;
  if (bookingFile.open(bookingPath) != 0) {
    // 0xF6 is the Windows-1252 o-umlaut; the message has no line feed.
    std::fprintf(out,
                 "Fehler beim \xF6"
                 "ffnen der Datei: %s",
                 bookingPath);
    return 1;
  }

  char identifier[kIdentifierCapacity] = "KSW";
  if (argc == 5) {
    copyField(identifier, argv[4]);
    std::fprintf(out, "Kostenstellenwechsel-Bezeichner: <%s>\n", identifier);
  }

  std::vector<BookingRecord> bookings;
  if (readBookings(run, bookingFile, bookings) != 0) return 1;
  bookingFile.close();

  sortBookings(bookings);
  printSortedList(out, bookings);

  insertBookings(run, bookings, identifier);

  if (writeParameterFile(bookings, parameterPath) != 0) {
    std::fprintf(out, "Fehler beim oeffnen der Datei: %s\n", parameterPath);
    return 1;
  }
  std::fprintf(out, "dulmar: Ende.\n");
  return 0;
}
