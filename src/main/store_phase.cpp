// Storing the sorted bookings a request's worth at a time, the report and
// run-log row of each failure, the message of an early stop, and the
// parameter file's lines at the end.

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "booking/booking_date.h"
#include "booking/parameter_file.h"
#include "common/locked_append.h"
#include "main/run_steps.h"

namespace {
/// The program's error number for a booking that could not be stored.
constexpr int32_t kInsertFailedErrorNumber = 1065;

constexpr char kInsertFunction[] = "SQLInsertKvs321Bch";
constexpr char kInsertCode[] = "Kvs321Bch";

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
}  // namespace

void reportStop(Run& run, StopReason reason, const std::vector<BookingRecord>& bookings, size_t index,
                size_t unknown) {
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

int finishParameterFile(Run& run, const std::vector<BookingRecord>& bookings, size_t count, const char* path,
                        bool fromOutside) {
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
