#include "db/diagnostic.h"

#include <cstring>

#include "common/field.h"

void readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, Diagnostic& diag) {
  std::memset(&diag, 0, sizeof diag);
  SQLINTEGER nativeError = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(handleType, handle, 1, reinterpret_cast<SQLCHAR*>(diag.state), &nativeError,
                reinterpret_cast<SQLCHAR*>(diag.message), sizeof diag.message, &length);
  diag.nativeError = static_cast<int32_t>(nativeError);
  diag.recorded = true;
  // The driver terminates what it writes; these keep the record a text even
  // when a driver does not.
  diag.state[sizeof diag.state - 1] = '\0';
  diag.message[sizeof diag.message - 1] = '\0';
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
