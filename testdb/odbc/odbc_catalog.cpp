// SQLTables and SQLColumns, read from the catalog tables (isql's "help").

#include "odbc/odbc_handles.h"

namespace testdb {
namespace {

ResultColumn textColumn(const char* label) {
  ResultColumn c;
  c.label = label;
  c.type = TypeSpec{ColumnType::VarChar, 128, 0};
  c.typeKnown = true;
  return c;
}

ResultColumn intColumn(const char* label, ColumnType type = ColumnType::Int) {
  ResultColumn c;
  c.label = label;
  c.type = TypeSpec{type, 0, 0};
  c.typeKnown = true;
  return c;
}

// A search pattern argument: NULL or empty matches everything.
Value pattern(SQLCHAR* text, SQLSMALLINT length) {
  std::string p = inputText(text, length);
  return Value::text(p.empty() ? "%" : p);
}

SQLRETURN runCatalogQuery(Stmt* stmt, const std::string& sql, const std::vector<Value>& params,
                          const std::vector<ResultColumn>& columns) {
  stmt->diag.clear();
  closeCursor(stmt);
  if (stmt->dbc->faults.broken()) {
    connectionBroken(stmt->diag);
    return SQL_ERROR;
  }
  ErrorList errors;
  if (stmt->dbc->session.executeInternal(sql, params, columns, stmt->exec, errors) != 0) {
    stmt->diag.add(errors);
    return SQL_ERROR;
  }
  stmt->readOffsets.assign(columns.size() + 1, 0);
  return SQL_SUCCESS;
}

}  // namespace
}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLTables(SQLHSTMT handle, SQLCHAR*, SQLSMALLINT, SQLCHAR* schema, SQLSMALLINT schemaLength,
                            SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR*, SQLSMALLINT) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  std::vector<ResultColumn> columns = {textColumn("TABLE_CAT"), textColumn("TABLE_SCHEM"), textColumn("TABLE_NAME"),
                                       textColumn("TABLE_TYPE"), textColumn("REMARKS")};
  std::string sql =
      "SELECT ?1, schema_name, table_name, 'TABLE', NULL FROM _dulmar_tables"
      " WHERE schema_name LIKE ?2 ESCAPE '\\' AND table_name LIKE ?3 ESCAPE '\\' ORDER BY 2, 3";
  std::vector<Value> params = {Value::text(stmt->dbc->settings.databaseName), pattern(schema, schemaLength),
                               pattern(table, tableLength)};
  return runCatalogQuery(stmt, sql, params, columns);
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT handle, SQLCHAR*, SQLSMALLINT, SQLCHAR* schema, SQLSMALLINT schemaLength,
                             SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* column, SQLSMALLINT columnLength) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  std::vector<ResultColumn> columns = {
      textColumn("TABLE_CAT"),      textColumn("TABLE_SCHEM"),       textColumn("TABLE_NAME"),
      textColumn("COLUMN_NAME"),    intColumn("DATA_TYPE", ColumnType::SmallInt), textColumn("TYPE_NAME"),
      intColumn("COLUMN_SIZE"),     intColumn("BUFFER_LENGTH"),      intColumn("DECIMAL_DIGITS", ColumnType::SmallInt),
      intColumn("NUM_PREC_RADIX", ColumnType::SmallInt), intColumn("NULLABLE", ColumnType::SmallInt),
      textColumn("REMARKS"),        textColumn("COLUMN_DEF"),        intColumn("SQL_DATA_TYPE", ColumnType::SmallInt),
      intColumn("SQL_DATETIME_SUB", ColumnType::SmallInt), intColumn("CHAR_OCTET_LENGTH"),
      intColumn("ORDINAL_POSITION"), textColumn("IS_NULLABLE")};
  // Column types are stored as the catalog's ColumnType numbers.
  std::string sql =
      "SELECT ?1, t.schema_name, t.table_name, c.name,"
      " CASE c.type WHEN 0 THEN 1 WHEN 1 THEN 12 WHEN 2 THEN 4 WHEN 3 THEN 5 WHEN 4 THEN -6 WHEN 5 THEN -5"
      " WHEN 6 THEN -7 WHEN 7 THEN 93 WHEN 8 THEN 6 ELSE 3 END,"
      " CASE c.type WHEN 0 THEN 'char' WHEN 1 THEN 'varchar' WHEN 2 THEN 'int' WHEN 3 THEN 'smallint'"
      " WHEN 4 THEN 'tinyint' WHEN 5 THEN 'bigint' WHEN 6 THEN 'bit' WHEN 7 THEN 'datetime' WHEN 8 THEN 'float'"
      " ELSE 'decimal' END,"
      " CASE c.type WHEN 0 THEN c.length WHEN 1 THEN c.length WHEN 2 THEN 10 WHEN 3 THEN 5 WHEN 4 THEN 3"
      " WHEN 5 THEN 19 WHEN 6 THEN 1 WHEN 7 THEN 23 WHEN 8 THEN 15 ELSE c.length END,"
      " CASE c.type WHEN 0 THEN c.length WHEN 1 THEN c.length WHEN 7 THEN 16 ELSE 8 END,"
      " CASE c.type WHEN 7 THEN 3 WHEN 9 THEN c.scale ELSE NULL END,"
      " CASE WHEN c.type IN (0, 1, 7) THEN NULL ELSE 10 END,"
      " CASE c.not_null WHEN 1 THEN 0 ELSE 1 END, NULL, NULL,"
      " CASE c.type WHEN 0 THEN 1 WHEN 1 THEN 12 WHEN 2 THEN 4 WHEN 3 THEN 5 WHEN 4 THEN -6 WHEN 5 THEN -5"
      " WHEN 6 THEN -7 WHEN 7 THEN 9 WHEN 8 THEN 6 ELSE 3 END,"
      " CASE c.type WHEN 7 THEN 3 ELSE NULL END,"
      " CASE WHEN c.type IN (0, 1) THEN c.length ELSE NULL END,"
      " c.ordinal, CASE c.not_null WHEN 1 THEN 'NO' ELSE 'YES' END"
      " FROM _dulmar_tables t JOIN _dulmar_columns c ON c.sqlite_name = t.sqlite_name"
      " WHERE t.schema_name LIKE ?2 ESCAPE '\\' AND t.table_name LIKE ?3 ESCAPE '\\'"
      " AND c.name LIKE ?4 ESCAPE '\\' ORDER BY 2, 3, c.ordinal";
  std::vector<Value> params = {Value::text(stmt->dbc->settings.databaseName), pattern(schema, schemaLength),
                               pattern(table, tableLength), pattern(column, columnLength)};
  return runCatalogQuery(stmt, sql, params, columns);
}
