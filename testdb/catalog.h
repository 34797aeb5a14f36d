#pragma once
// What SQL Server knows about tables and SQLite does not: schemas, declared
// types and lengths, constraint names. Kept in tables of the database file
// itself, so every connection and every process sees the same catalog.

#include <sqlite3.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace testdb {

enum class ColumnType { Char, VarChar, Int, SmallInt, TinyInt, BigInt, Bit, DateTime, Float, Decimal };

struct Column {
  // name as declared
  std::string name;
  // declared type
  ColumnType type = ColumnType::Int;
  // char/varchar length (-1 for max), decimal precision
  int length = 0;
  // decimal scale
  int scale = 0;
  // declared NOT NULL (or part of the primary key)
  bool notNull = false;
};

enum class ConstraintKind : char {
  PrimaryKey = 'P',
  Unique = 'U',       // UNIQUE constraint
  UniqueIndex = 'I',  // CREATE UNIQUE INDEX
  Index = 'X',        // CREATE INDEX
  Check = 'C',
  ForeignKey = 'F',
};

struct Constraint {
  // constraint or index name as declared (or generated like SQL Server does)
  std::string name;
  // what it enforces
  ConstraintKind kind = ConstraintKind::Check;
  // the key columns (declared names), or the one column a CHECK names
  std::vector<std::string> columns;
  // for a foreign key: the referenced table's SQLite name and columns
  std::string refTable;
  std::vector<std::string> refColumns;
};

struct Table {
  // schema name as the schema was created (dbo for the default)
  std::string schema;
  // table name as created
  std::string name;
  // name of the SQLite table: lower-case schema, "__", lower-case name
  std::string sqliteName;
  // columns in declared order
  std::vector<Column> columns;
  // constraints and indexes
  std::vector<Constraint> constraints;

  /// The column of that name (case-insensitive), or nullptr.
  const Column* find(std::string_view column) const;
};

/// The SQLite name of schema.table.
std::string sqliteTableName(std::string_view schema, std::string_view table);

/// SQL Server's name of a type as declared, for messages: "int", "char" ...
const char* typeName(ColumnType type);

/// True for char and varchar.
inline bool isText(ColumnType t) { return t == ColumnType::Char || t == ColumnType::VarChar; }

/// True for the integer types.
inline bool isInteger(ColumnType t) {
  return t == ColumnType::Int || t == ColumnType::SmallInt || t == ColumnType::TinyInt ||
         t == ColumnType::BigInt || t == ColumnType::Bit;
}

class Catalog {
 public:
  /// Creates the catalog tables when missing. Returns SQLITE_OK or an SQLite code.
  int ensure(sqlite3* db);
  /// Reloads when another connection changed the schema. Returns SQLITE_OK or an SQLite code.
  int refresh(sqlite3* db);
  /// Forgets what was loaded so the next refresh reads it again.
  void invalidate() { version_ = -1; }
  /// Lets go of the database before it is closed.
  void detach();

  /// The schema's declared name, or nullptr when there is no such schema.
  const std::string* findSchema(std::string_view schema) const;
  /// The table, or nullptr.
  const Table* findTable(std::string_view schema, std::string_view table) const;
  /// The table by its SQLite name, or nullptr.
  const Table* findBySqliteName(std::string_view sqliteName) const;
  /// All tables, ordered by SQLite name.
  const std::map<std::string, Table>& tables() const { return tables_; }

  /// Statements that record a new schema / table / index in the catalog tables.
  static std::string recordSchema(std::string_view name);
  static std::string recordTable(const Table& table);
  static std::string recordConstraint(const Table& table, const Constraint& c);
  /// Statements that remove a table's catalog rows.
  static std::string forgetTable(std::string_view sqliteName);

 private:
  int load(sqlite3* db);

  // lower-case schema name -> declared name
  std::map<std::string, std::string> schemas_;
  // SQLite name -> table
  std::map<std::string, Table> tables_;
  // PRAGMA schema_version the tables were loaded at, -1 when not loaded
  long long version_ = -1;
  // cached "PRAGMA schema_version" statement
  sqlite3_stmt* versionStmt_ = nullptr;

 public:
  Catalog() = default;
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  ~Catalog();
};

}  // namespace testdb
