#pragma once
// What the driver said about a failed call, and how the program shows it.

#include <cstdint>
#include <vector>

#include "db/odbc.h"

/// Capacity of the diagnostic text as reports and run-log rows show it (256
/// characters).
inline constexpr int kDiagTextCapacity = 257;

/// The first diagnostic record of a failed call.
struct Diagnostic {
  /// True once a failure was diagnosed into this record.
  bool recorded;
  /// Five-character SQLSTATE, terminated.
  char state[6];
  /// Message text as the driver gave it, terminated.
  char message[1000];
  /// The driver's native error (for SQL Server, the server's error number).
  int32_t nativeError;
};

/// Replaces diag with the first diagnostic record of the handle.
void readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, Diagnostic& diag);

/// Replaces first with the first diagnostic record of the handle and further
/// with the records after it (at most a few).
void readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, Diagnostic& first, std::vector<Diagnostic>& further);

/// Whether the record says the link to the server is gone: a
/// connection-class SQLSTATE, a time limit that ran out (HYT00, HYT01), or FreeTDS's first word of it (01000, native
/// 20017). Returns true or false.
bool diagnosesLostLink(const Diagnostic& diag);

/// Sets *nativeError from diag and, when it is not 0, copies at most 256
/// characters of the message into text (capacity kDiagTextCapacity), trimmed
/// at the end; otherwise text stays as it was.
void diagnosticText(const Diagnostic& diag, int32_t* nativeError, char* text);

/// Removes trailing blanks, tabs and line feeds in place (a CR stays).
void trimDiagText(char* text);
