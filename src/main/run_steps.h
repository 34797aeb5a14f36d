#pragma once
// What the steps of one run share, for the files that make up the run
// (run.cpp: the order of the run; read_phase.cpp: reading and resolving the
// bookings; store_phase.cpp: storing them, their reports and the parameter
// file). Nothing here is for use outside the run.

#include <cstddef>
#include <cstdio>
#include <vector>

#include "booking/booking_record.h"
#include "common/stop_flag.h"
#include "common/text_file.h"
#include "db/booking_store.h"
#include "runlog/runlog.h"

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

/// Why a run stops early.
enum class StopReason { Signal, LinkLost, Misfit };

/// Whether the operator asked the run to stop. Returns true or false.
bool stopRequested(const Run& run);
/// Hands the trace so far to its file: an operator who follows a log file
/// sees what is done, and a killed run loses at most one request's lines.
void flushTrace(Run& run);
/// Prints a line for each connection restored and each request sent again
/// after a deadlock since the last call. Returns true while the link holds,
/// false once it is lost for good or a stop ended its restoring.
bool linkHolds(Run& run);
/// The words of the stop message for reason. Returns them.
const char* stopText(StopReason reason);
/// Why the database stopped answering the run: the operator's stop ended a
/// wait, an answer did not fit its statement, or the link is lost for good.
/// Returns it.
StopReason storeStopReason(const Run& run);
/// Says that memory ran out after read bookings.
void printNoMemory(Run& run, size_t read);

/// Reads the booking file, resolves the bookings a request's worth at a
/// time, and prints each booking's lines in file order. Returns 0; -1 when
/// memory ran out, the file could not be read, the database stopped
/// answering or the run was stopped (each after its message).
int readBookings(Run& run, TextReader& input, const char* path, std::vector<BookingRecord>& bookings);

/// Says where an early stop left the bookings: those before position index
/// of the sorted list are stored or reported; of the next unknown ones it
/// cannot be known whether they were stored (their commit may have completed
/// while its answer was lost); none after them is stored.
void reportStop(Run& run, StopReason reason, const std::vector<BookingRecord>& bookings, size_t index,
                size_t unknown = 0);
/// Stores the bookings in order, a request's worth at a time, reporting each
/// failure. Returns how many were processed: all of them, or fewer when the
/// run stopped early (after its message).
size_t insertBookings(Run& run, std::vector<BookingRecord>& bookings, const char* identifier);
/// Appends the parameter-file lines of the first count bookings to the file
/// at path, opened now and closed again, in its turn with other runs. Ended
/// from outside, the run waits for its turn only briefly and then writes
/// without it, since the bookings the lines name are stored. Returns 0, or -1
/// after the message.
int finishParameterFile(Run& run, const std::vector<BookingRecord>& bookings, size_t count, const char* path,
                        bool fromOutside = false);
