// Reading the booking file and resolving its bookings, a request's worth at
// a time, with each booking's trace in file order.

#include <cstdio>
#include <span>
#include <vector>

#include "booking/booking_reader.h"
#include "booking/normalise.h"
#include "common/field.h"
#include "db/diagnostic.h"
#include "main/run_steps.h"

namespace {
/// Prints the database's reason for a failed lookup, when it gave one.
void printLookupFailure(Run& run, int result, const Diagnostic& diag) {
  if (result != -1 || !diag.recorded) return;
  char text[kDiagTextCapacity] = {};
  copyText(text, sizeof text, fieldView(diag.message));
  trimDiagText(text);
  std::fprintf(run.out, "  sqlcode: %ld, sqlmsg: %s\n", static_cast<long>(diag.nativeError), text);
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
}  // namespace

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
