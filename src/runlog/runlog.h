#pragma once
// The run log: the record that describes this run, completed by every
// reported error and written as one row of KvSystem.Kvs001Log, and the report
// printed beside the row.

#include <cstdint>
#include <cstdio>

#include "db/booking_store.h"
#include "db/diagnostic.h"
#include "db/runlog_record.h"

/// Detail type whose system-error fields come from the last diagnostic; the
/// only one the program writes.
inline constexpr int kDetailFromDiagnostic = 1;

/// Fills record from the command line (program path first), the current local
/// time and the module id; every other field zero.
void logInit(int argc, const char* const* argv, const char* moduleId, RunLogRecord& record);

/// The run's log, writing its rows through the run's database and printing
/// its reports to the run's output.
class RunLog {
 public:
  /// Starts the record from the command line and the module id (logInit).
  RunLog(int argc, const char* const* argv, const char* moduleId, BookingStore& store, FILE* out);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  /// Writes one row for the error and prints the report. lastDiagnostic is
  /// the last diagnosed failure of the run: the report and the row's system
  /// error come from it, and a failed row write replaces it. A row that
  /// could not be written gets a line of its own after the report. Returns
  /// 0, or the row's outcome (writeRunLogRows) when it was not written.
  int reportError(Diagnostic& lastDiagnostic, const char* code, const char* personnelNumber, int32_t date,
                   int32_t errorNumber, const char* functionName);

  /// Fills the error fields of the record (the system error from
  /// lastDiagnostic) and writes the row; rowFailure gets the diagnostic of a
  /// failed write. Returns the row's outcome (writeRunLogRows), -1 when it got none.
  int logSetError(const Diagnostic& lastDiagnostic, const char* functionName, const char* personnelNumber,
                  int32_t date, int32_t errorNumber, const char* code, Diagnostic& rowFailure);

  /// Fills the error fields of the record as logSetError does and copies it
  /// into row, for a row written later with others.
  void prepareRow(const Diagnostic& lastDiagnostic, const char* functionName, const char* personnelNumber,
                  int32_t date, int32_t errorNumber, const char* code, RunLogRecord& row);

  /// Prints the report of an error whose row was written with result
  /// written (rowFailure the diagnostic of a failed write), as reportError
  /// does; lastDiagnostic is the one the row was prepared from, and becomes
  /// rowFailure when that is recorded.
  void printReport(Diagnostic& lastDiagnostic, const char* code, const char* personnelNumber, int32_t date,
                   int32_t errorNumber, const char* functionName, int written, const Diagnostic& rowFailure);

  /// The record as the last row was written from it.
  const RunLogRecord& record() const { return record_; }

 private:
  RunLogRecord record_;
  BookingStore& store_;
  FILE* out_;
};
