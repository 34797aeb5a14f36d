#pragma once
// The catalog kept in tables of the database file itself, so every connection
// and every process sees the same schemas, tables and constraints.

#include <sqlite3.h>

#include <map>
#include <string>
#include <string_view>

#include "tsql/catalog_view.h"

namespace testdb {

class Catalog final : public CatalogView {
 public:
  /// Creates the catalog tables when missing. Returns SQLITE_OK or an SQLite code.
  int ensure(sqlite3* db);
  /// Reloads when another connection changed the schema. Returns SQLITE_OK or an SQLite code.
  int refresh(sqlite3* db);
  /// Forgets what was loaded so the next refresh reads it again.
  void invalidate() { version_ = -1; }
  /// Lets go of the database before it is closed.
  void detach();
  /// How often the catalog was loaded: what was found in it before a change
  /// of this number may be gone or changed.
  unsigned long long loads() const { return loads_; }

  const std::string* findSchema(std::string_view schema) const override;
  const Table* findTable(std::string_view schema, std::string_view table) const override;
  const Table* findBySqliteName(std::string_view sqliteName) const override;
  /// All tables, ordered by SQLite name.
  const std::map<std::string, Table>& tables() const { return tables_; }

  std::string recordSchema(std::string_view name) const override;
  std::string recordTable(const Table& table) const override;
  std::string recordConstraint(const Table& table, const Constraint& c) const override;
  std::string forgetTable(std::string_view sqliteName) const override;

 private:
  int load(sqlite3* db);

  // lower-case schema name -> declared name
  std::map<std::string, std::string> schemas_;
  // SQLite name -> table
  std::map<std::string, Table> tables_;
  // PRAGMA schema_version the tables were loaded at, -1 when not loaded
  long long version_ = -1;
  unsigned long long loads_ = 0;
  // cached "PRAGMA schema_version" statement
  sqlite3_stmt* versionStmt_ = nullptr;

 public:
  Catalog() = default;
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  ~Catalog();
};

}  // namespace testdb
