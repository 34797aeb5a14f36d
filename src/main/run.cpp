#include "main/run.h"

#include <functional>
#include <string>
#include <vector>

#include "booking/booking_record.h"
#include "booking/booking_sort.h"
#include "booking/parameter_file.h"
#include "common/cp1252.h"
#include "common/field.h"
#include "common/locked_append.h"
#include "common/stop_flag.h"
#include "common/text_file.h"
#include "main/run_steps.h"
#include "main/run_turn.h"
#include "runlog/runlog.h"
#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

namespace {
/// Capacity of each connection setting (199 characters).
constexpr int kSettingCapacity = 200;

/// Exit status of a run that stored or reported everything but could not
/// record some failure in the run log, or not print its report.
constexpr int kIncompleteRecord = 2;
}  // namespace

void printNoMemory(Run& run, size_t read) {
  std::fprintf(run.out, "Nicht genug Speicher fuer die Buchungen (%lu eingelesen).\n",
               static_cast<unsigned long>(read));
}

bool stopRequested(const Run& run) { return stopAsked(run.stop); }

void flushTrace(Run& run) { std::fflush(run.out); }

bool linkHolds(Run& run) {
  LinkState link = run.store.link();
  for (; run.restoresTold < link.restored; ++run.restoresTold)
    std::fprintf(run.out, "Verbindung zur Datenbank unterbrochen und wiederhergestellt.\n");
  for (; run.deadlocksTold < link.deadlocks; ++run.deadlocksTold)
    std::fprintf(run.out, "Verklemmung in der Datenbank (1205), Anfrage wird wiederholt.\n");
  return !link.lost && !link.cancelled;
}

const char* stopText(StopReason reason) {
  switch (reason) {
    case StopReason::Signal: return "durch Signal";
    case StopReason::LinkLost: return "Verbindung zur Datenbank verloren";
    case StopReason::Misfit: return "durch eine unerwartete Antwort der Datenbank";
  }
  return "";
}

StopReason storeStopReason(const Run& run) {
  const LinkState link = run.store.link();
  if (link.cancelled) return StopReason::Signal;
  return link.misfit ? StopReason::Misfit : StopReason::LinkLost;
}

namespace {
void printUsage(FILE* out) {
  std::fprintf(out, "Syntax: dulmar <Ini-Datei> <Quelle> <Parm-Datei>");
  std::fprintf(out, " [<KSW-Bezeichner>]\n\n");
  std::fprintf(out, "Ini-Datei  :\n KORVANDEL-Ini-Datei\n\n");
  std::fprintf(out, "Quelle     :\n Datei mit Kostenstellenwechsel-Buchungen.\n\n");
  std::fprintf(out, "Parm-Datei :\n Parameter-Datei fuer RZP.\n\n");
  std::fprintf(out, "KSW-Bez.   :\n Kostenstellenwechsel-Bezeichner ");
  std::fprintf(out, "(Default: \"KSW\")\n\n");
}

/// Says that the settings file at path gave the run no value for key to use.
void printNoSetting(FILE* out, const char* path, const char* key) {
  std::fprintf(out, "Der Ini-Datei (%s) konnte kein gueltiger Wert fuer %s entnommen werden.\n", path, key);
}
}  // namespace

int runDulmar(int argc, const char* const* argv, BookingStore& database, FILE* out, const StopFlag* stop,
              RunTurn* runTurn) {
  if (argc != 4 && argc != 5) {
    printUsage(out);
    return 1;
  }
  HeldTurn turn(runTurn);
  TurnReleasingStore store(database, runTurn);
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
  // Without them the driver's message would not point at the settings file.
  // A password may be empty; no value is ever printed.
  if (readSetting(settingsPath, "DATABASE", dataSource) != 0 || dataSource[0] == '\0')
    printNoSetting(out, settingsPath, "DATABASE");
  readSetting(settingsPath, "LOGIN", login);
  if (login[0] == '\0') printNoSetting(out, settingsPath, "LOGIN");
  readSetting(settingsPath, "PASS", password);

  turn.endingFromHere([out]() {
    std::fprintf(out, "dulmar: Abbruch %s beim Verbinden mit der Datenbank; keine Buchung wurde gespeichert.\n",
                 stopText(StopReason::Signal));
  });
  std::vector<Diagnostic> furtherRecords;
  flushTrace(run);
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
  turn.endingFromHere([&run]() {
    std::fprintf(run.out, "dulmar: Abbruch %s beim Einlesen der Buchung [%lu]; keine Buchung wurde gespeichert.\n",
                 stopText(StopReason::Signal), static_cast<unsigned long>(run.readingFirst + 1));
  });
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
  turn.endingFromHere([&run, &bookings, parameterPath]() {
    // The request in flight may be committed or not: its bookings are
    // neither counted nor listed, and the message says so.
    finishParameterFile(run, bookings, run.processed, parameterPath, true);
    reportStop(run, StopReason::Signal, bookings, run.processed, run.inFlightEnd - run.processed);
  });
  const size_t processed = insertBookings(run, bookings, identifier);
  turn.endingFromHere(nullptr);
  if (finishParameterFile(run, bookings, processed, parameterPath) != 0) return 1;
  if (processed < bookings.size()) return 1;

  std::fprintf(out, "dulmar: Ende.\n");
  // Status 0 says every booking was stored or reported and logged, and the
  // report reached its reader.
  if (run.lostLogRows > 0 || std::fflush(out) != 0 || std::ferror(out)) return kIncompleteRecord;
  return 0;
}
