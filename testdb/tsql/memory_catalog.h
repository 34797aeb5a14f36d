#pragma once
// A catalog held in memory for tests of translation: the DDL it is given is
// translated like any statement, and the tables, schemas and indexes that the
// translator records are kept here instead of in a database file.

#include <map>
#include <string>
#include <string_view>

#include "tsql/catalog_view.h"
#include "tsql/translate.h"

namespace testdb {

class MemoryCatalog final : public CatalogView {
 public:
  MemoryCatalog();

  /// Runs a script of DDL (split like dulmar-sqlrun splits it) into the
  /// catalog. Returns 0, or -1 with the first statement's error in error.
  int load(std::string_view script, ServerError& error);
  /// Reads a file and loads it. Returns 0, or -1 with error (native 0: unreadable).
  int loadFile(const std::string& path, ServerError& error);

  const std::string* findSchema(std::string_view schema) const override;
  const Table* findTable(std::string_view schema, std::string_view table) const override;
  const Table* findBySqliteName(std::string_view sqliteName) const override;
  std::string recordSchema(std::string_view name) const override;
  std::string recordTable(const Table& table) const override;
  std::string recordConstraint(const Table& table, const Constraint& c) const override;
  std::string forgetTable(std::string_view sqliteName) const override;

 private:
  // Changes recorded by the statement being translated, applied once it translated.
  struct Pending {
    std::vector<std::string> schemas;
    std::vector<Table> tables;
    std::vector<std::pair<std::string, Constraint>> constraints;
    std::vector<std::string> dropped;
  };
  void apply();

  std::map<std::string, std::string> schemas_;
  std::map<std::string, Table, std::less<>> tables_;
  mutable Pending pending_;
};

}  // namespace testdb
