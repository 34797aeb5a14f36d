// Diagnostics: the records of the last call on a handle.

#include <cstring>

#include "odbc/odbc_handles.h"

namespace testdb {
namespace {

DiagArea* areaOf(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = toEnv(handle);
      return e ? &e->diag : nullptr;
    }
    case SQL_HANDLE_DBC: {
      Dbc* d = toDbc(handle);
      return d ? &d->diag : nullptr;
    }
    case SQL_HANDLE_STMT: {
      Stmt* s = toStmt(handle);
      return s ? &s->diag : nullptr;
    }
    default: return nullptr;
  }
}

}  // namespace
}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT capacity, SQLSMALLINT* length) {
  DiagArea* area = areaOf(type, handle);
  if (!area) return SQL_INVALID_HANDLE;
  if (number < 1) return SQL_ERROR;
  if (static_cast<size_t>(number) > area->records.size()) return SQL_NO_DATA;
  const DiagRecord& r = area->records[static_cast<size_t>(number) - 1];
  if (state) {
    memset(state, 0, 6);
    memcpy(state, r.state.data(), r.state.size() < 5 ? r.state.size() : 5);
  }
  if (native) *native = r.native;
  return copyOut(r.message, message, capacity, length);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, SQLSMALLINT field,
                                  SQLPOINTER info, SQLSMALLINT capacity, SQLSMALLINT* length) {
  DiagArea* area = areaOf(type, handle);
  if (!area) return SQL_INVALID_HANDLE;
  // Header fields.
  switch (field) {
    case SQL_DIAG_NUMBER:
      if (info) *static_cast<SQLINTEGER*>(info) = static_cast<SQLINTEGER>(area->records.size());
      return SQL_SUCCESS;
    case SQL_DIAG_RETURNCODE:
      if (info) *static_cast<SQLRETURN*>(info) = area->returnCode();
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT: {
      Stmt* stmt = type == SQL_HANDLE_STMT ? toStmt(handle) : nullptr;
      if (info) *static_cast<SQLLEN*>(info) = stmt ? static_cast<SQLLEN>(stmt->exec.rowCount) : 0;
      return SQL_SUCCESS;
    }
    case SQL_DIAG_CURSOR_ROW_COUNT:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      if (info) *static_cast<SQLINTEGER*>(info) = 0;
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION:
      return copyOut("", static_cast<SQLCHAR*>(info), capacity, length);
    default: break;
  }
  if (number < 1) return SQL_ERROR;
  if (static_cast<size_t>(number) > area->records.size()) return SQL_NO_DATA;
  const DiagRecord& r = area->records[static_cast<size_t>(number) - 1];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return copyOut(r.state, static_cast<SQLCHAR*>(info), capacity, length);
    case SQL_DIAG_NATIVE:
      if (info) *static_cast<SQLINTEGER*>(info) = r.native;
      return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT: return copyOut(r.message, static_cast<SQLCHAR*>(info), capacity, length);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return copyOut(r.state.compare(0, 2, "IM") == 0 ? "ODBC 3.0" : "ISO 9075", static_cast<SQLCHAR*>(info),
                     capacity, length);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: return copyOut("dulmar-testdb", static_cast<SQLCHAR*>(info), capacity, length);
    case SQL_DIAG_COLUMN_NUMBER:
      if (info) *static_cast<SQLINTEGER*>(info) = SQL_COLUMN_NUMBER_UNKNOWN;
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER:
      if (info) *static_cast<SQLLEN*>(info) = SQL_ROW_NUMBER_UNKNOWN;
      return SQL_SUCCESS;
    default: return SQL_ERROR;
  }
}
