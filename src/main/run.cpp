#include "main/run.h"

#include <csignal>
#include <span>
#include <cstring>
#include <functional>
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
#include "main/run_turn.h"
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
  const StopFlag* stop;
  /// The last failure the database diagnosed; reports show it.
  Diagnostic lastDiagnostic;
  /// Restored connections already told.
  int restoresTold = 0;
  /// Requests sent again after a deadlock, already told.
  int deadlocksTold = 0;
  /// Failures that did not reach the run log.
  int lostLogRows = 0;
  /// Where the run is, for a stop that ends it from outside: the first
  /// booking whose lookups are asked, the bookings stored or reported
  /// (sorted), and the end of those whose request is in flight.
  size_t readingFirst = 0;
  size_t processed = 0;
  size_t inFlightEnd = 0;
};

bool stopRequested(const Run& run) { return stopAsked(run.stop); }

/// Hands the trace so far to its file: an operator who follows a log file
/// sees what is done, and a killed run loses at most one request's lines.
void flushTrace(Run& run) { std::fflush(run.out); }

/// Prints a line for each connection restored since the last call. Returns
/// true while the link holds, false once it is lost for good.
bool linkHolds(Run& run) {
  LinkState link = run.store.link();
  for (; run.restoresTold < link.restored; ++run.restoresTold)
    std::fprintf(run.out, "Verbindung zur Datenbank unterbrochen und wiederhergestellt.\n");
  for (; run.deadlocksTold < link.deadlocks; ++run.deadlocksTold)
    std::fprintf(run.out, "Verklemmung in der Datenbank (1205), Anfrage wird wiederholt.\n");
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
enum class StopReason { Signal, LinkLost, Misfit };

const char* stopText(StopReason reason) {
  switch (reason) {
    case StopReason::Signal: return "durch Signal";
    case StopReason::LinkLost: return "Verbindung zur Datenbank verloren";
    case StopReason::Misfit: return "durch eine unerwartete Antwort der Datenbank";
  }
  return "";
}

/// Why the database stopped answering the run: the operator cancelled the
/// request in flight, an answer did not fit its statement, or the link is
/// lost for good.
StopReason storeStopReason(const Run& run) {
  const LinkState link = run.store.link();
  if (link.cancelled) return StopReason::Signal;
  return link.misfit ? StopReason::Misfit : StopReason::LinkLost;
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

/// Prints the trace of a resolved record and a message for each failed
/// lookup, in the order they are asked.
void printResolution(Run& run, BookingRecord& record, const Resolution& res) {
  if (res.badge != 0) {
    std::fprintf(run.out, "Zur Ausweisnummer (%s) konnte keine Personalnummer entnommen werden.\n", record.badge);
    printLookupFailure(run, res.badge, res.badgeDiag);
    return;
  }
  if (res.schema != 0) {
    std::fprintf(run.out,
                 "-Schemaname konnte der Mandantentabelle nicht entnommen werden:\n  Liz: %s, Mnd: %s, Kon: %i\n",
                 res.licence, res.tenant, 0);
    printLookupFailure(run, res.schema, res.schemaDiag);
  }
  trimRight(record.personnelNumber);
  std::fprintf(run.out, "Personalnummer: <%s>\n", record.personnelNumber);
  if (res.costCentre != 0) {
    std::fprintf(run.out, "Zum Arbeitsplatz (%s) konnte keine Kostenstelle entnommen werden.\n", record.workstation);
    printLookupFailure(run, res.costCentre, res.costCentreDiag);
    return;
  }
  trimRight(record.costCentre);
  std::fprintf(run.out, "Kostenstelle: <%s>\n", record.costCentre);
}

/// Says that the settings file at path gave the run no value for key to use.
void printNoSetting(FILE* out, const char* path, const char* key) {
  std::fprintf(out, "Der Ini-Datei (%s) konnte kein gueltiger Wert fuer %s entnommen werden.\n", path, key);
}

void printNoMemory(Run& run, size_t read) {
  std::fprintf(run.out, "Nicht genug Speicher fuer die Buchungen (%lu eingelesen).\n",
               static_cast<unsigned long>(read));
}

/// Reads the booking file, resolves the bookings a request's worth at a
/// time, and prints each booking's lines in file order. Returns 0; -1 when
/// memory ran out, the file could not be read, the database stopped
/// answering or the run was stopped (each after its message).
int readBookings(Run& run, TextReader& input, const char* path, std::vector<BookingRecord>& bookings) {
  BookingFileReport file;
  const BookingFileEnd end = readBookingFile(input, bookings, file);
  if (file.byteOrderMark)
    std::fprintf(run.out,
                 "Die Buchungsdatei beginnt mit einer UTF-8-Kennung (Byte-Order-Mark); alle Buchungen sind um 3 "
                 "Zeichen verschoben.\n");
  const size_t chunk = run.store.batchSize() > 0 ? run.store.batchSize() : 1;
  std::vector<Resolution> resolutions;
  try {
    resolutions.resize(bookings.size() < chunk ? bookings.size() : chunk);
  } catch (...) {
    printNoMemory(run, 0);
    return -1;
  }
  for (size_t first = 0; first < bookings.size(); first += chunk) {
    const size_t count = bookings.size() - first < chunk ? bookings.size() - first : chunk;
    std::span<BookingRecord> records(bookings.data() + first, count);
    flushTrace(run);  // a log file shows what is done before the run waits
    for (BookingRecord& r : records) {
      r.personnelNumber[0] = '\0';
      r.schema[0] = '\0';
      r.costCentre[0] = '\0';
    }
    run.readingFirst = first;
    const size_t resolved = run.store.resolveBookings(records, std::span<Resolution>(resolutions.data(), count));
    for (size_t j = 0; j < count; ++j) {
      BookingRecord& r = records[j];
      const int number = static_cast<int>(first + j + 1);
      if (first + j + 1 == file.misalignedAt)
        std::fprintf(run.out,
                     "Zeile %d der Buchungsdatei hat nicht 31 Zeichen; ab Buchung [%d] sind die Felder verschoben.\n",
                     number, number);
      std::fprintf(run.out, "[%d]: <%s>, <%s>, <%s>, <%s> eingelesen.\n", number, r.date, r.time, r.badge,
                   r.workstation);
      if (j == 0) linkHolds(run);
      if (j >= resolved) {
        const LinkState link = run.store.link();
        if (!link.lost && !link.misfit && !link.cancelled) {
          printNoMemory(run, first + j);
          return -1;
        }
        std::fprintf(run.out,
                     "dulmar: Abbruch %s beim Einlesen der Buchung [%d]; keine Buchung wurde gespeichert.\n",
                     stopText(storeStopReason(run)), number);
        return -1;
      }
      printResolution(run, r, resolutions[j]);
    }
    if (stopRequested(run)) {
      std::fprintf(run.out, "dulmar: Abbruch %s beim Einlesen der Buchung [%d]; keine Buchung wurde gespeichert.\n",
                   stopText(StopReason::Signal), static_cast<int>(first + count));
      return -1;
    }
  }
  flushTrace(run);
  if (file.unread > 0)
    std::fprintf(run.out, "Am Ende der Buchungsdatei wurden %lu Zeichen nicht gelesen (keine ganze Buchung).\n",
                 static_cast<unsigned long>(file.unread));
  if (file.pastEndMark > 0)
    std::fprintf(run.out, "Nach dem Dateiende-Zeichen 0x1A der Buchungsdatei wurden %lu Zeichen nicht gelesen.\n",
                 static_cast<unsigned long>(file.pastEndMark));
  if (end == BookingFileEnd::NoMemory) {
    printNoMemory(run, bookings.size());
    return -1;
  }
  if (end == BookingFileEnd::ReadError) {
    // A read error is not the end of the file: nothing read is stored.
    std::fprintf(run.out,
                 "Fehler beim \xF6"
                 "ffnen der Datei: %s",
                 path);
    return -1;
  }
  return 0;
}

/// Prints the report of a failed insert up to its run-log part.
void printFailedInsert(Run& run, int result, const BookingRecord& r, const char* identifier) {
  std::fprintf(run.out, "Fehler beim Einfuegen der Buchung in Kvs321Bch (%d)\n", result);
  std::fprintf(run.out, "Schemaname:  <%s>\n", r.schema);
  std::fprintf(run.out, "Personalnummer:  <%s>\n", r.personnelNumber);
  std::fprintf(run.out, "Buchungsdatum:   <%s>\n", r.date);
  std::fprintf(run.out, "Buchungsuhrzeit: <%s>\n", r.time);
  std::fprintf(run.out, "Funktionscode:   <%d>\n", kCostCentreChangeFunction);
  std::fprintf(run.out, "Funktionsname:   <%s>\n", identifier);
  std::fprintf(run.out, "Kostenstelle:    <%s>\n", r.costCentre);
  std::fprintf(run.out, "\nSQL-Fehler:\n");
}

constexpr char kInsertFunction[] = "SQLInsertKvs321Bch";
constexpr char kInsertCode[] = "Kvs321Bch";

/// Reports the failed inserts among bookings[first, first + outcomes.size())
/// in order, their run-log rows written a request's worth at a time. Each
/// row is made from the run's last diagnostic as it stands after the
/// failures before it, so a batch of rows ends before a failure without a
/// diagnostic of its own (the row before it may change what it shows).
/// Returns the position of the first booking whose row was lost with the
/// link, or npos.
size_t reportFailures(Run& run, const std::vector<BookingRecord>& bookings, size_t first,
                      std::span<const StatementOutcome> outcomes, const char* identifier) {
  size_t firstLostRow = std::string::npos;
  std::vector<size_t> failed;
  for (size_t j = 0; j < outcomes.size(); ++j)
    if (outcomes[j].result != 0) failed.push_back(first + j);
  const size_t chunk = run.store.batchSize() > 0 ? run.store.batchSize() : 1;
  std::vector<RunLogRecord> rows;
  std::vector<Diagnostic> madeFrom;
  std::vector<StatementOutcome> written;
  for (size_t k = 0; k < failed.size();) {
    rows.clear();
    madeFrom.clear();
    Diagnostic last = run.lastDiagnostic;
    for (size_t e = k; e < failed.size() && rows.size() < chunk; ++e) {
      const StatementOutcome& o = outcomes[failed[e] - first];
      if (e > k && !o.diag.recorded) break;
      if (o.diag.recorded) last = o.diag;
      const BookingRecord& r = bookings[failed[e]];
      madeFrom.push_back(last);
      rows.emplace_back();
      // A date field that names no real day is printed as its digits; its
      // run-log row gets a date the server accepts (see prepareRow).
      run.log.prepareRow(last, kInsertFunction, r.personnelNumber, bookingDateNumber(r), kInsertFailedErrorNumber,
                         kInsertCode, rows.back());
    }
    written.assign(rows.size(), StatementOutcome{-1, {}});
    flushTrace(run);
    const size_t answered = run.store.writeRunLogRows(rows, written);
    for (size_t m = 0; m < rows.size(); ++m) {
      const BookingRecord& r = bookings[failed[k + m]];
      printFailedInsert(run, outcomes[failed[k + m] - first].result, r, identifier);
      run.lastDiagnostic = madeFrom[m];
      const StatementOutcome rowOutcome = m < answered ? written[m] : StatementOutcome{-1, {}};
      run.log.printReport(run.lastDiagnostic, kInsertCode, r.personnelNumber, bookingDateNumber(r),
                          kInsertFailedErrorNumber, kInsertFunction, rowOutcome.result, rowOutcome.diag);
      if (rowOutcome.result != 0) ++run.lostLogRows;
      if (m >= answered && firstLostRow == std::string::npos) firstLostRow = failed[k + m];
    }
    k += rows.size();
  }
  return firstLostRow;
}

/// Says where an early stop left the bookings: those before position index
/// of the sorted list are stored or reported; of the next unknown ones it
/// cannot be known whether they were stored (their commit may have completed
/// while its answer was lost); none after them is stored.
void reportStop(Run& run, StopReason reason, const std::vector<BookingRecord>& bookings, size_t index,
                size_t unknown = 0) {
  std::fprintf(run.out, "dulmar: Abbruch %s: %lu von %lu Buchungen verarbeitet", stopText(reason),
               static_cast<unsigned long>(index), static_cast<unsigned long>(bookings.size()));
  if (unknown == 1)
    std::fprintf(run.out, "; ob die Buchung %lu der sortierten Liste gespeichert wurde, ist unbekannt",
                 static_cast<unsigned long>(index + 1));
  if (unknown > 1)
    std::fprintf(run.out, "; ob die Buchungen %lu bis %lu der sortierten Liste gespeichert wurden, ist unbekannt",
                 static_cast<unsigned long>(index + 1), static_cast<unsigned long>(index + unknown));
  if (unknown > 0) std::fprintf(run.out, " (die Wiederholung meldet gespeicherte mit 2627)");
  const size_t next = index + unknown;
  if (next >= bookings.size()) {
    std::fprintf(run.out, ".\n");
    return;
  }
  const BookingRecord& r = bookings[next];
  char date[kListDateCapacity];
  // The list was named already when some bookings are unknown.
  std::fprintf(run.out, "; ab Buchung %lu%s (%s,%s %s) wurde nichts gespeichert.\n",
               static_cast<unsigned long>(next + 1), unknown > 0 ? "" : " der sortierten Liste", r.personnelNumber,
               formatListDate(r, date), r.time);
}

/// Stores the bookings in order, a request's worth at a time, reporting each
/// failure. Returns how many were processed: all of them, or fewer when the
/// run stopped early (after its message).
size_t insertBookings(Run& run, std::vector<BookingRecord>& bookings, const char* identifier) {
  const size_t chunk = run.store.batchSize() > 0 ? run.store.batchSize() : 1;
  std::vector<StatementOutcome> outcomes;
  try {
    outcomes.resize(bookings.size() < chunk ? bookings.size() : chunk);
  } catch (...) {
    printNoMemory(run, bookings.size());
    return 0;
  }
  for (size_t first = 0; first < bookings.size();) {
    if (stopRequested(run)) {
      reportStop(run, StopReason::Signal, bookings, first);
      return first;
    }
    const size_t count = bookings.size() - first < chunk ? bookings.size() - first : chunk;
    // Bookings are stored to the minute.
    for (size_t j = first; j < first + count; ++j) {
      BookingRecord& r = bookings[j];
      if (strnlen(r.time, sizeof r.time) == sizeof r.time - 1) {
        r.time[sizeof r.time - 3] = '0';
        r.time[sizeof r.time - 2] = '0';
      }
    }
    run.processed = first;
    run.inFlightEnd = first + count;
    flushTrace(run);
    const size_t done = run.store.insertBookings(std::span<const BookingRecord>(bookings.data() + first, count),
                                                 identifier, std::span<StatementOutcome>(outcomes.data(), count));
    linkHolds(run);
    const size_t lostRow =
        reportFailures(run, bookings, first, std::span<const StatementOutcome>(outcomes.data(), done), identifier);
    flushTrace(run);
    if (!linkHolds(run) || run.store.link().misfit || done < count) {
      // The booking whose statement met the loss may have reached the
      // server: it counts as not processed, so a re-run tries it again; so
      // does a failure whose run-log row went with the link, unless a
      // booking after it is stored.
      size_t processed = first + done;
      if (lostRow != std::string::npos) {
        size_t storedEnd = lostRow;
        for (size_t j = lostRow; j < first + done; ++j)
          if (outcomes[j - first].result == 0) storedEnd = j + 1;
        processed = storedEnd;
      }
      // Those after the outcomes whose commit may have completed unseen.
      const size_t unknownAfter = done < count ? run.store.link().unknownAfter : 0;
      const size_t unknown = unknownAfter > 0 ? first + done + unknownAfter - processed : 0;
      if (processed == bookings.size()) return processed;  // everything stored or reported
      reportStop(run, storeStopReason(run), bookings, processed, unknown);
      return processed;
    }
    first += count;
  }
  return bookings.size();
}

/// Tells the operator that the run waits for another run's append.
void sayWaitingForTheParameterFile(void* out) {
  std::fprintf(static_cast<FILE*>(out),
               "Die Parameter-Datei wird von einem anderen Lauf geschrieben; warte bis zu %d Sekunden.\n",
               kAppendLockWaitMilliseconds / 1000);
  std::fflush(static_cast<FILE*>(out));
}

/// How long the lines wait for their turn when the run is ended from
/// outside: what is left of the bound the operator is promised.
constexpr int kOutsideAppendWaitMilliseconds = 3000;

/// Appends the parameter-file lines of the first count bookings to the file
/// at path, opened now and closed again, in its turn with other runs. Ended
/// from outside, the run waits for its turn only briefly and then writes
/// without it, since the bookings the lines name are stored. Returns 0, or -1
/// after the message.
int finishParameterFile(Run& run, const std::vector<BookingRecord>& bookings, size_t count, const char* path,
                        bool fromOutside = false) {
  std::string lines;
  AppendReport report;
  int result = appendParameterLines(bookings, count, lines);
  if (result == 0) {
    try {
      // A second signal cuts the wait, and the lines are written without the
      // turn all the same, since the bookings they name are stored.
      result = appendInTurn(path, lines, fromOutside ? kOutsideAppendWaitMilliseconds : kAppendLockWaitMilliseconds,
                            fromOutside, run.stop, sayWaitingForTheParameterFile, run.out, isParameterLine, report);
    } catch (...) {
      result = -1;
    }
  }
  if (report.endMarks > 0)
    std::fprintf(run.out, "Dateiende-Zeichen 0x1A am Ende der Parameter-Datei entfernt (%ld Zeichen).\n",
                 report.endMarks);
  if (report.tornBytes > 0)
    std::fprintf(run.out, "Unvollstaendige letzte Zeile der Parameter-Datei entfernt (%ld Zeichen).\n",
                 report.tornBytes);
  if (report.lineEndAdded)
    std::fprintf(run.out, "Fehlendes Zeilenende der letzten Zeile der Parameter-Datei ergaenzt.\n");
  if (result != 0) {
    std::fprintf(run.out, "Fehler beim oeffnen der Datei: %s\n", path);
    return -1;
  }
  return 0;
}

/// Holds the run's turn for the length of the run, and leaves nothing for
/// the watcher to end when the run returns.
class HeldTurn {
 public:
  explicit HeldTurn(RunTurn* turn) : turn_(turn) {
    if (turn_ != nullptr) turn_->hold();
  }
  HeldTurn(const HeldTurn&) = delete;
  HeldTurn& operator=(const HeldTurn&) = delete;
  ~HeldTurn() {
    if (turn_ == nullptr) return;
    turn_->setEnding(nullptr);
    turn_->release();
  }
  /// Sets what ends the run from outside from here on.
  void endingFromHere(std::function<void()> ending) {
    if (turn_ != nullptr) turn_->setEnding(std::move(ending));
  }

 private:
  RunTurn* turn_;
};
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
