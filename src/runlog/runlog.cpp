#include "runlog/runlog.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/date_number.h"
#include "common/field.h"

namespace {
void localTimeStamp(char (&stamp)[sizeof RunLogRecord::LogStz]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local) == 0) stamp[0] = '\0';
}

/// The line that says a failure is not in the run log, with the reason the
/// database gave when it gave one.
void printLostRow(FILE* out, int result, const Diagnostic& rowFailure) {
  std::fprintf(out, "Fehler beim Schreiben des Protokollsatzes in Kvs001Log (%d)", result);
  if (rowFailure.recorded) {
    char text[kDiagTextCapacity] = {};
    copyText(text, sizeof text, fieldView(rowFailure.message));
    trimDiagText(text);
    std::fprintf(out, ": sqlcode: %ld, sqlmsg: %s", static_cast<long>(rowFailure.nativeError), text);
  }
  std::fprintf(out, "\n");
}
}  // namespace

void logInit(int argc, const char* const* argv, const char* moduleId, RunLogRecord& record) {
  std::memset(&record, 0, sizeof record);
  // Only a backslash separates the file name: this is how the run log has
  // always named the program, whatever the platform's own separator.
  if (argc > 0 && argv[0] != nullptr) {
    if (const char* slash = std::strrchr(argv[0], '\\')) copyField(record.LogPrg, slash + 1);
  }
  for (int i = 1; i < argc; ++i) {
    appendText(record.LogPrm, sizeof record.LogPrm, argv[i]);
    if (i + 1 < argc) appendText(record.LogPrm, sizeof record.LogPrm, " ");
  }
  localTimeStamp(record.LogStz);
  copyField(record.LogMod, moduleId);
}

RunLog::RunLog(int argc, const char* const* argv, const char* moduleId, BookingStore& store, FILE* out)
    : store_(store), out_(out) {
  logInit(argc, argv, moduleId, record_);
}

int RunLog::reportError(Diagnostic& lastDiagnostic, const char* code, const char* personnelNumber, int32_t date,
                        int32_t errorNumber, const char* functionName) {
  Diagnostic rowFailure{};
  int written = logSetError(lastDiagnostic, functionName, personnelNumber, date, errorNumber, code, rowFailure);
  printReport(lastDiagnostic, code, personnelNumber, date, errorNumber, functionName, written, rowFailure);
  return written;
}

void RunLog::printReport(Diagnostic& lastDiagnostic, const char* code, const char* personnelNumber, int32_t date,
                         int32_t errorNumber, const char* functionName, int written, const Diagnostic& rowFailure) {
  // The diagnostic is the one the row was made from: a failed row write
  // replaces it only afterwards, and the report is about the booking, not
  // the row.
  int32_t nativeError = 0;
  char message[kDiagTextCapacity] = {};
  diagnosticText(lastDiagnostic, &nativeError, message);
  if (rowFailure.recorded) lastDiagnostic = rowFailure;

  std::fprintf(out_, "\n\nError in function: %s\n", functionName);
  std::fprintf(out_, "  Pnr: %s, Datum: %ld, ErrNr: %ld\n", personnelNumber, static_cast<long>(date),
               static_cast<long>(errorNumber));
  if (nativeError != 0) std::fprintf(out_, "  sqlcode: %d, sqlmsg: %s\n\n", static_cast<int>(nativeError), message);
  // INT_MIN has no negation in 32 bits; no driver reports it, but it must not
  // overflow.
  int negated = nativeError == INT32_MIN ? INT32_MAX : -static_cast<int>(nativeError);
  std::fprintf(out_, "Message:\n- Text  : %s\n- Number: %i\n- Code  : %s\n", message, negated, code);
  if (written != 0) printLostRow(out_, written, rowFailure);
}

void RunLog::prepareRow(const Diagnostic& lastDiagnostic, const char* functionName, const char* personnelNumber,
                        int32_t date, int32_t errorNumber, const char* code, RunLogRecord& row) {
  RunLogRecord& r = record_;
  std::memset(r.LogFkt, 0, sizeof r.LogFkt);
  std::memset(r.LogTTxt, 0, sizeof r.LogTTxt);
  std::memset(r.LogSTxt, 0, sizeof r.LogSTxt);
  std::memset(r.LogMsg, 0, sizeof r.LogMsg);
  copyField(r.LogPnr, personnelNumber);
  // The report prints the booking's own date number; the row gets one the
  // server accepts, or it would be refused and the failure go unrecorded.
  r.LogDtm = storableDateNumber(date);
  r.LogTErr = errorNumber;
  r.LogTyp = kDetailFromDiagnostic;
  copyField(r.LogFkt, functionName);
  copyField(r.LogMsg, code);
  diagnosticText(lastDiagnostic, &r.LogSErr, r.LogSTxt);
  for (char& c : r.LogSTxt)
    if (c == '\'') c = '"';
  row = r;
}

int RunLog::logSetError(const Diagnostic& lastDiagnostic, const char* functionName, const char* personnelNumber,
                        int32_t date, int32_t errorNumber, const char* code, Diagnostic& rowFailure) {
  RunLogRecord row;
  prepareRow(lastDiagnostic, functionName, personnelNumber, date, errorNumber, code, row);
  StatementOutcome outcome{-1, {}};
  const size_t written =
      store_.writeRunLogRows(std::span<RunLogRecord>(&row, 1), std::span<StatementOutcome>(&outcome, 1));
  // The looked-up text is part of the record as the row was written.
  std::memcpy(record_.LogTTxt, row.LogTTxt, sizeof record_.LogTTxt);
  if (written == 0) return -1;
  if (outcome.diag.recorded) rowFailure = outcome.diag;
  return outcome.result;
}
