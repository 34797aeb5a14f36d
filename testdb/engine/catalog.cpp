#include "engine/catalog.h"

#include "sqlserver/sql_value.h"
#include "tsql/tsql_lexer.h"

namespace testdb {
namespace {

constexpr const char* kCreateCatalog =
    "CREATE TABLE IF NOT EXISTS _dulmar_schemas (lname TEXT PRIMARY KEY, name TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS _dulmar_tables (sqlite_name TEXT PRIMARY KEY, schema_name TEXT NOT NULL,"
    " table_name TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS _dulmar_columns (sqlite_name TEXT NOT NULL, ordinal INTEGER NOT NULL,"
    " name TEXT NOT NULL, type INTEGER NOT NULL, length INTEGER NOT NULL, scale INTEGER NOT NULL,"
    " not_null INTEGER NOT NULL, PRIMARY KEY (sqlite_name, ordinal));"
    "CREATE TABLE IF NOT EXISTS _dulmar_constraints (sqlite_name TEXT NOT NULL, name TEXT NOT NULL,"
    " kind TEXT NOT NULL, columns TEXT NOT NULL, ref_table TEXT NOT NULL, ref_columns TEXT NOT NULL);"
    "INSERT OR IGNORE INTO _dulmar_schemas VALUES ('dbo', 'dbo');";

std::string joinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) {
    if (!out.empty()) out += ',';
    out += n;
  }
  return out;
}

std::vector<std::string> splitNames(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    out.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

std::string columnText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, i)))
           : std::string();
}

}  // namespace

Catalog::~Catalog() { detach(); }

void Catalog::detach() {
  sqlite3_finalize(versionStmt_);
  versionStmt_ = nullptr;
  version_ = -1;
}

int Catalog::ensure(sqlite3* db) {
  // Writing takes the database's write lock: a login must not wait for a
  // transaction another session holds open, as none waits on SQL Server.
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema WHERE name = '_dulmar_schemas'", -1, &st, nullptr);
  const bool exists = rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  if (!exists) rc = sqlite3_exec(db, kCreateCatalog, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  version_ = -1;
  return refresh(db);
}

int Catalog::refresh(sqlite3* db) {
  if (!versionStmt_) {
    int rc = sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &versionStmt_, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  long long version = -1;
  if (sqlite3_step(versionStmt_) == SQLITE_ROW) version = sqlite3_column_int64(versionStmt_, 0);
  sqlite3_reset(versionStmt_);
  if (version == version_ && version_ >= 0) return SQLITE_OK;
  int rc = load(db);
  if (rc == SQLITE_OK) version_ = version;
  return rc;
}

int Catalog::load(sqlite3* db) {
  ++loads_;
  schemas_.clear();
  tables_.clear();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT lname, name FROM _dulmar_schemas", -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  while (sqlite3_step(st) == SQLITE_ROW) schemas_[columnText(st, 0)] = columnText(st, 1);
  sqlite3_finalize(st);

  rc = sqlite3_prepare_v2(db, "SELECT sqlite_name, schema_name, table_name FROM _dulmar_tables", -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  while (sqlite3_step(st) == SQLITE_ROW) {
    Table t;
    t.sqliteName = columnText(st, 0);
    t.schema = columnText(st, 1);
    t.name = columnText(st, 2);
    tables_[t.sqliteName] = std::move(t);
  }
  sqlite3_finalize(st);

  rc = sqlite3_prepare_v2(db,
                          "SELECT sqlite_name, name, type, length, scale, not_null FROM _dulmar_columns"
                          " ORDER BY sqlite_name, ordinal",
                          -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto it = tables_.find(columnText(st, 0));
    if (it == tables_.end()) continue;
    Column c;
    c.name = columnText(st, 1);
    c.type = static_cast<ColumnType>(sqlite3_column_int(st, 2));
    c.length = sqlite3_column_int(st, 3);
    c.scale = sqlite3_column_int(st, 4);
    c.notNull = sqlite3_column_int(st, 5) != 0;
    it->second.columns.push_back(std::move(c));
  }
  sqlite3_finalize(st);

  rc = sqlite3_prepare_v2(db,
                          "SELECT sqlite_name, name, kind, columns, ref_table, ref_columns"
                          " FROM _dulmar_constraints ORDER BY rowid",
                          -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto it = tables_.find(columnText(st, 0));
    if (it == tables_.end()) continue;
    Constraint c;
    c.name = columnText(st, 1);
    std::string kind = columnText(st, 2);
    c.kind = static_cast<ConstraintKind>(kind.empty() ? 'C' : kind[0]);
    c.columns = splitNames(columnText(st, 3));
    c.refTable = columnText(st, 4);
    c.refColumns = splitNames(columnText(st, 5));
    it->second.constraints.push_back(std::move(c));
  }
  sqlite3_finalize(st);
  return SQLITE_OK;
}

const std::string* Catalog::findSchema(std::string_view schema) const {
  auto it = schemas_.find(lowerCase(schema));
  return it == schemas_.end() ? nullptr : &it->second;
}

const Table* Catalog::findTable(std::string_view schema, std::string_view table) const {
  return findBySqliteName(sqliteTableName(schema, table));
}

const Table* Catalog::findBySqliteName(std::string_view sqliteName) const {
  auto it = tables_.find(std::string(sqliteName));
  return it == tables_.end() ? nullptr : &it->second;
}

std::string Catalog::recordSchema(std::string_view name) const {
  return "INSERT INTO _dulmar_schemas VALUES (" + sqliteLiteral(Value::text(lowerCase(name))) + ", " +
         sqliteLiteral(Value::text(std::string(name))) + ");";
}

std::string Catalog::recordTable(const Table& table) const {
  std::string sql = "INSERT INTO _dulmar_tables VALUES (" + sqliteLiteral(Value::text(table.sqliteName)) + ", " +
                    sqliteLiteral(Value::text(table.schema)) + ", " + sqliteLiteral(Value::text(table.name)) +
                    ");";
  int ordinal = 0;
  for (const Column& c : table.columns) {
    sql += "INSERT INTO _dulmar_columns VALUES (" + sqliteLiteral(Value::text(table.sqliteName)) + ", " +
           std::to_string(++ordinal) + ", " + sqliteLiteral(Value::text(c.name)) + ", " +
           std::to_string(static_cast<int>(c.type)) + ", " + std::to_string(c.length) + ", " +
           std::to_string(c.scale) + ", " + (c.notNull ? "1" : "0") + ");";
  }
  for (const Constraint& c : table.constraints) sql += recordConstraint(table, c);
  return sql;
}

std::string Catalog::recordConstraint(const Table& table, const Constraint& c) const {
  return "INSERT INTO _dulmar_constraints VALUES (" + sqliteLiteral(Value::text(table.sqliteName)) + ", " +
         sqliteLiteral(Value::text(c.name)) + ", '" + static_cast<char>(c.kind) + "', " +
         sqliteLiteral(Value::text(joinNames(c.columns))) + ", " + sqliteLiteral(Value::text(c.refTable)) + ", " +
         sqliteLiteral(Value::text(joinNames(c.refColumns))) + ");";
}

std::string Catalog::forgetTable(std::string_view sqliteName) const {
  std::string name = sqliteLiteral(Value::text(std::string(sqliteName)));
  return "DELETE FROM _dulmar_tables WHERE sqlite_name = " + name +
         "; DELETE FROM _dulmar_columns WHERE sqlite_name = " + name +
         "; DELETE FROM _dulmar_constraints WHERE sqlite_name = " + name + ";";
}

}  // namespace testdb
