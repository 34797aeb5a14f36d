#include "db/diagnostic.h"

#include <cstring>

#include "common/field.h"

namespace {
/// More records than this after the first say nothing new.
constexpr SQLSMALLINT kFurtherRecordLimit = 4;
/// FreeTDS's native error for a connection the server closed.
constexpr int32_t kFreeTdsUnexpectedEof = 20017;

/// Reads record number of the handle into diag. Returns SQLGetDiagRec's result.
SQLRETURN readRecord(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT number, Diagnostic& diag) {
  std::memset(&diag, 0, sizeof diag);
  SQLINTEGER nativeError = 0;
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, number, reinterpret_cast<SQLCHAR*>(diag.state), &nativeError,
                               reinterpret_cast<SQLCHAR*>(diag.message), sizeof diag.message, &length);
  diag.nativeError = static_cast<int32_t>(nativeError);
  diag.recorded = true;
  // The driver terminates what it writes; these keep the record a text even
  // when a driver does not.
  diag.state[sizeof diag.state - 1] = '\0';
  diag.message[sizeof diag.message - 1] = '\0';
  return rc;
}
}  // namespace

void readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, Diagnostic& diag) {
  readRecord(handleType, handle, 1, diag);
}

void readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, Diagnostic& first, std::vector<Diagnostic>& further) {
  readRecord(handleType, handle, 1, first);
  further.clear();
  for (SQLSMALLINT number = 2; number <= kFurtherRecordLimit + 1; ++number) {
    Diagnostic next;
    if (!SQL_SUCCEEDED(readRecord(handleType, handle, number, next))) break;
    try {
      further.push_back(next);
    } catch (...) {
      break;  // the first record is what matters; the rest is detail
    }
  }
}

bool diagnosesLostLink(const Diagnostic& diag) {
  if (!diag.recorded) return false;
  // A request past its time limit (HYT00, HYT01) is handled like a lost
  // link: the server or the way to it stopped answering.
  for (const char* state : {"08S01", "08S02", "08003", "08001", "HYT00", "HYT01"})
    if (std::strcmp(diag.state, state) == 0) return true;
  return std::strcmp(diag.state, "01000") == 0 && diag.nativeError == kFreeTdsUnexpectedEof;
}

void diagnosticText(const Diagnostic& diag, int32_t* nativeError, char* text) {
  *nativeError = diag.nativeError;
  if (diag.nativeError == 0) return;  // the caller's text stays as it was
  copyText(text, kDiagTextCapacity, fieldView(diag.message));
  trimDiagText(text);
}

void trimDiagText(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\n')) --n;
  text[n] = '\0';
}
