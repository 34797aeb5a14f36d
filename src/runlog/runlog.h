#pragma once

#include <cstdint>

#include "runlog/runlog_record.h"

/// Detail type whose system-error fields come from the last diagnostic.
inline constexpr int kDetailFromDiagnostic = 1;

/// Fills record from the command line (program path first), the current local
/// time and the module id; every other field zero.
void logInit(int argc, const char* const* argv, const char* moduleId, RunLogRecord& record);

/// Writes one run-log row for the error and prints the report. A failure to
/// write the row is not passed on.
void reportError(const char* code, const char* personnelNumber, int32_t date, int32_t errorNumber,
                 const char* functionName, int detailType);

/// Fills the error fields of runLogRecord and writes the row. Returns
/// SQLInsertKvs001Log's result.
int logSetError(const char* functionName, const char* personnelNumber, int32_t date, int32_t errorNumber,
                const char* code, int detailType);

/// Looks up the error number's text and inserts record as one row. Returns 0,
/// -1 when no statement handle could be had (or the row could not be built),
/// otherwise the native error of the failed INSERT.
int SQLInsertKvs001Log(RunLogRecord& record);
