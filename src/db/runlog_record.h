#pragma once
// The record that describes this run and its last reported error, written as
// one row of the run-log table for every reported error.

#include <cstdint>

/// One run-log row; the fields match the columns of KvSystem.Kvs001Log.
struct RunLogRecord {
  /// Program file name: the program path after its last backslash.
  char LogPrg[31];
  /// Start of the run, local time, "%Y%m%d%H%M%S".
  char LogStz[15];
  /// Command-line arguments after the program path, joined by one blank.
  char LogPrm[151];
  /// Schema; nothing sets it, so it is empty in every row.
  char LogSch[21];
  /// Module id ("DULMAR").
  char LogMod[11];
  /// Personnel number of the reported error.
  char LogPnr[11];
  /// Date of the reported error as the number YYYYMMDD.
  int32_t LogDtm;
  /// Name of the operation that failed.
  char LogFkt[51];
  /// The program's error number.
  int32_t LogTErr;
  /// Text of the error number from Kvs102Whl; empty when none is found.
  char LogTTxt[257];
  /// Native error of the last database diagnostic; 0 when there is none.
  int32_t LogSErr;
  /// Message of that diagnostic, apostrophes replaced by double quotes.
  char LogSTxt[257];
  /// The error's code text.
  char LogMsg[257];
  /// Detail type; 1 (system error fields from the last diagnostic) in every row.
  int32_t LogTyp;
};
