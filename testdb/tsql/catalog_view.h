#pragma once
// What translation needs to know about tables and SQLite does not: schemas,
// declared types and lengths, constraint names; and where a statement that
// creates or drops one records the change. The engine keeps the catalog in the
// database file; translation only sees it through this view.

#include <string>
#include <string_view>
#include <vector>

#include "sqlserver/column_type.h"

namespace testdb {

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

class CatalogView {
 public:
  /// The schema's declared name, or nullptr when there is no such schema.
  virtual const std::string* findSchema(std::string_view schema) const = 0;
  /// The table, or nullptr.
  virtual const Table* findTable(std::string_view schema, std::string_view table) const = 0;
  /// The table by its SQLite name, or nullptr.
  virtual const Table* findBySqliteName(std::string_view sqliteName) const = 0;

  /// SQLite statements that record a new schema / table / index in the catalog.
  virtual std::string recordSchema(std::string_view name) const = 0;
  virtual std::string recordTable(const Table& table) const = 0;
  virtual std::string recordConstraint(const Table& table, const Constraint& c) const = 0;
  /// SQLite statements that remove a table from the catalog.
  virtual std::string forgetTable(std::string_view sqliteName) const = 0;

 protected:
  ~CatalogView() = default;
};

}  // namespace testdb
