#include "main/run.h"

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "booking/booking_date.h"
#include "booking/booking_reader.h"
#include "booking/booking_record.h"
#include "booking/booking_sort.h"
#include "booking/normalise.h"
#include "booking/parameter_file.h"
#include "common/cp1252.h"
#include "common/field.h"
#include "common/file_lock.h"
#include "common/locked_append.h"
#include "common/stop_flag.h"
#include "common/text_file.h"
#include "runlog/runlog.h"
#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

namespace {
/// Capacity of each connection setting (199 characters).
constexpr int kSettingCapacity = 200;
/// The program's error number for a booking that could not be stored.
constexpr int32_t kInsertFailedErrorNumber = 1065;

/// Exit status of a run that stored or reported everything but could not
/// record some failure in the run log, or not print its report.
constexpr int kIncompleteRecord = 2;

/// What the steps of one run share.
struct Run {
  BookingStore& store;
  RunLog& log;
  FILE* out;
  /// Set from outside the run (by a signal) when it is to stop.
  const volatile std::sig_atomic_t* stop;
  /// The last failure the database diagnosed; reports show it.
  Diagnostic lastDiagnostic;
  /// Restored connections already told.
  int restoresTold = 0;
  /// Failures that did not reach the run log.
  int lostLogRows = 0;
};

bool stopRequested(const Run& run) { return stopAsked(run.stop); }

/// Prints a line for each connection restored since the last call. Returns
/// true while the link holds, false once it is lost for good.
bool linkHolds(Run& run) {
  LinkState link = run.store.link();
  for (; run.restoresTold < link.restored; ++run.restoresTold)
    std::fprintf(run.out, "Verbindung zur Datenbank unterbrochen und wiederhergestellt.\n");
  return !link.lost && !link.cancelled;
}

/// Prints the database's reason for a failed lookup, when it gave one.
void printLookupFailure(Run& run, int result, const Diagnostic& diag) {
  if (result != -1 || !diag.recorded) return;
  char text[kDiagTextCapacity] = {};
  copyText(text, sizeof text, fieldView(diag.message));
  trimDiagText(text);
  std::fprintf(run.out, "  sqlcode: %ld, sqlmsg: %s\n", static_cast<long>(diag.nativeError), text);
}

/// Why a run stops early.
enum class StopReason { Signal, LinkLost };

/// Why the database stopped answering the run: the operator cancelled the
/// request in flight, or the link is lost for good.
StopReason whyTheLinkEnded(const Run& run) {
  return run.store.link().cancelled ? StopReason::Signal : StopReason::LinkLost;
}

const char* stopText(StopReason reason) {
  return reason == StopReason::Signal ? "durch Signal" : "Verbindung zur Datenbank verloren";
}

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
/// record, printing the trace and a message for each failed lookup. Returns
/// 0, or -1 when the link to the database is lost for good.
int resolveBooking(Run& run, BookingRecord& record) {
  char licence[kLicenceCapacity] = {};
  char tenant[kTenantCapacity] = {};
  Diagnostic diag{};

  record.personnelNumber[0] = '\0';
  int found = run.store.lookUpBadge(record, licence, tenant, diag);
  if (!linkHolds(run)) return -1;
  if (found != 0) {
    std::fprintf(run.out, "Zur Ausweisnummer (%s) konnte keine Personalnummer entnommen werden.\n", record.badge);
    printLookupFailure(run, found, diag);
    return 0;
  }
  record.schema[0] = '\0';
  found = run.store.lookUpSchema(licence, tenant, record.schema, diag);
  if (!linkHolds(run)) return -1;
  if (found != 0) {
    std::fprintf(run.out,
                 "-Schemaname konnte der Mandantentabelle nicht entnommen werden:\n  Liz: %s, Mnd: %s, Kon: %i\n",
                 licence, tenant, 0);
    printLookupFailure(run, found, diag);
  }
  trimRight(record.personnelNumber);
  std::fprintf(run.out, "Personalnummer: <%s>\n", record.personnelNumber);

  record.costCentre[0] = '\0';
  diag = Diagnostic{};
  found = run.store.lookUpCostCentre(record.workstation, record.costCentre, diag);
  if (!linkHolds(run)) return -1;
  if (found != 0) {
    std::fprintf(run.out, "Zum Arbeitsplatz (%s) konnte keine Kostenstelle entnommen werden.\n", record.workstation);
    printLookupFailure(run, found, diag);
    return 0;
  }
  trimRight(record.costCentre);
  std::fprintf(run.out, "Kostenstelle: <%s>\n", record.costCentre);
  return 0;
}

/// Reads every whole group of the booking file into bookings, resolving each.
/// Returns 0; -1 when memory ran out, the file could not be read, the link
/// was lost or the run was stopped (each after its message).
int readBookings(Run& run, TextReader& input, const char* path, std::vector<BookingRecord>& bookings) {
  bool linesSoFar = true;  // every group so far ended in a line feed
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    if (record == nullptr) {
      std::fprintf(run.out, "Nicht genug Speicher fuer die Buchungen (%lu eingelesen).\n",
                   static_cast<unsigned long>(bookings.size()));
      return -1;
    }
    const size_t got = readBookingGroupPart(input, *record);
    const BookingTail tail = got == kBookingGroupLength || input.failed() ? BookingTail::Nothing
                                                                          : judgeBookingTail(*record, got, linesSoFar);
    if (got != kBookingGroupLength && tail != BookingTail::Booking) {
      bookings.pop_back();  // the incomplete group at the end is not a booking
      if (tail == BookingTail::Unread)
        std::fprintf(run.out, "Am Ende der Buchungsdatei wurden %lu Zeichen nicht gelesen (keine ganze Buchung).\n",
                     static_cast<unsigned long>(got));
      if (!input.failed()) return 0;
      // A read error is not the end of the file: nothing read is stored.
      std::fprintf(run.out,
                   "Fehler beim \xF6"
                   "ffnen der Datei: %s",
                   path);
      return -1;
    }
    linesSoFar = linesSoFar && groupEndsInLineFeed(*record);
    normaliseBooking(*record);
    const int number = static_cast<int>(bookings.size());
    std::fprintf(run.out, "[%d]: <%s>, <%s>, <%s>, <%s> eingelesen.\n", number, record->date, record->time,
                 record->badge, record->workstation);
    const bool lost = resolveBooking(run, *record) != 0;
    if (lost || stopRequested(run)) {
      std::fprintf(run.out, "dulmar: Abbruch %s beim Einlesen der Buchung [%d]; keine Buchung wurde gespeichert.\n",
                   stopText(lost ? whyTheLinkEnded(run) : StopReason::Signal), number);
      return -1;
    }
  }
}

/// Reports a failed insert and writes its run-log row.
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
  if (run.log.reportError(run.lastDiagnostic, "Kvs321Bch", r.personnelNumber, bookingDateNumber(r),
                          kInsertFailedErrorNumber, "SQLInsertKvs321Bch") != 0)
    ++run.lostLogRows;
}

/// Says where an early stop left the bookings: those before position index
/// of the sorted list are stored or reported, none from it on is stored.
void reportStop(Run& run, StopReason reason, const std::vector<BookingRecord>& bookings, size_t index) {
  const BookingRecord& r = bookings[index];
  char date[kListDateCapacity];
  std::fprintf(run.out,
               "dulmar: Abbruch %s: %lu von %lu Buchungen verarbeitet; ab Buchung %lu der sortierten Liste "
               "(%s,%s %s) wurde nichts gespeichert.\n",
               stopText(reason), static_cast<unsigned long>(index), static_cast<unsigned long>(bookings.size()),
               static_cast<unsigned long>(index + 1), r.personnelNumber, formatListDate(r, date), r.time);
}

/// Stores the bookings in order, reporting each failure. Returns how many
/// were processed: all of them, or fewer when the run stopped early (after
/// its message).
size_t insertBookings(Run& run, std::vector<BookingRecord>& bookings, const char* identifier) {
  for (size_t i = 0; i < bookings.size(); ++i) {
    BookingRecord& r = bookings[i];
    if (stopRequested(run)) {
      reportStop(run, StopReason::Signal, bookings, i);
      return i;
    }
    // Bookings are stored to the minute.
    if (strnlen(r.time, sizeof r.time) == sizeof r.time - 1) {
      r.time[sizeof r.time - 3] = '0';
      r.time[sizeof r.time - 2] = '0';
    }
    int result = run.store.insertBooking(r, identifier, run.lastDiagnostic);
    if (linkHolds(run) && result != 0) reportFailedInsert(run, result, r, identifier);
    if (!linkHolds(run)) {
      // The booking whose statement met the loss may have reached the
      // server: it counts as not processed, so a re-run tries it again.
      reportStop(run, whyTheLinkEnded(run), bookings, i);
      return i;
    }
  }
  return bookings.size();
}

/// Tells the operator that the run waits for another run's append.
void sayWaitingForTheParameterFile(void* out) {
  std::fprintf(static_cast<FILE*>(out),
               "Die Parameter-Datei wird von einem anderen Lauf geschrieben; warte bis zu %d Sekunden.\n",
               kAppendLockWaitMilliseconds / 1000);
}

/// Appends the parameter-file lines of the first count bookings to the file
/// at path, opened now and closed again, in its turn with other runs.
/// Returns 0, or -1 after the message.
int finishParameterFile(Run& run, const std::vector<BookingRecord>& bookings, size_t count, const char* path) {
  std::string lines;
  AppendReport report;
  FileLock turn;
  int result = appendParameterLines(bookings, count, lines);
  if (result == 0) {
    try {
      const std::string file(path);
      if (takeAppendTurn(turn, file, kAppendLockWaitMilliseconds, run.stop, sayWaitingForTheParameterFile, run.out) <
          0) {
        // A second signal cut the wait: the lines are written all the same,
        // since the bookings they name are stored.
        if (!stopAtOnce(run.stop)) result = -1;
        report.withoutLock = true;
      }
      if (result == 0) result = appendWhole(file, lines, report);
    } catch (...) {
      result = -1;
    }
  }
  if (report.tornBytes > 0)
    std::fprintf(run.out, "Unvollstaendige letzte Zeile der Parameter-Datei entfernt (%ld Zeichen).\n",
                 report.tornBytes);
  if (result != 0) {
    std::fprintf(run.out, "Fehler beim oeffnen der Datei: %s\n", path);
    return -1;
  }
  return 0;
}
}  // namespace

int runDulmar(int argc, const char* const* argv, BookingStore& store, FILE* out,
              const volatile std::sig_atomic_t* stop) {
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
  Run run{store, log, out, stop, Diagnostic{}};
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

  std::vector<Diagnostic> furtherRecords;
  int connected = store.connect(login, password, dataSource, run.lastDiagnostic, furtherRecords);
  wipeBytes(password, sizeof password);
  if (connected != 0) {
    const Diagnostic& d = run.lastDiagnostic;
    if (d.recorded)
      std::fprintf(out, "Connect Error: SQLCode: %ld sqlState: %s Msg: %s\n", static_cast<long>(d.nativeError), d.state,
                   d.message);
    // A locked or unreadable database must not read as only its first word.
    for (const Diagnostic& more : furtherRecords)
      std::fprintf(out, "Connect Error: SQLCode: %ld sqlState: %s Msg: %s\n", static_cast<long>(more.nativeError),
                   more.state, more.message);
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
    // Stored with every booking: a byte the driver cannot send would fail
    // each of them with a misleading reason.
    if (const size_t at = findUndeliverableByte(identifier); at != std::string_view::npos) {
      std::fprintf(out,
                   "Kostenstellenwechsel-Bezeichner: das Byte 0x%02X an Stelle %lu ist kein Windows-1252-Zeichen; "
                   "keine Buchung wurde gespeichert.\n",
                   static_cast<unsigned>(static_cast<unsigned char>(identifier[at])),
                   static_cast<unsigned long>(at + 1));
      return 1;
    }
  }

  std::vector<BookingRecord> bookings;
  if (readBookings(run, bookingFile, bookingPath, bookings) != 0) return 1;
  bookingFile.close();

  sortBookings(bookings);
  printSortedList(out, bookings);

  // Checked before the first booking is stored: a path that cannot take the
  // lines stops the run while nothing is stored. It is not kept open, so a
  // follow-on tool may take the file while the bookings are stored.
  if (checkAppendable(parameterPath) != 0) {
    std::fprintf(out, "Fehler beim oeffnen der Datei: %s\n", parameterPath);
    return 1;
  }
  const size_t processed = insertBookings(run, bookings, identifier);
  if (finishParameterFile(run, bookings, processed, parameterPath) != 0) return 1;
  if (processed < bookings.size()) return 1;

  std::fprintf(out, "dulmar: Ende.\n");
  // Status 0 says every booking was stored or reported and logged, and the
  // report reached its reader.
  if (run.lostLogRows > 0 || std::fflush(out) != 0 || std::ferror(out)) return kIncompleteRecord;
  return 0;
}
