#include "tsql/memory_catalog.h"

#include <fstream>
#include <sstream>

#include "tsql/sql_script.h"

namespace testdb {

MemoryCatalog::MemoryCatalog() { schemas_["dbo"] = "dbo"; }

int MemoryCatalog::load(std::string_view script, ServerError& error) {
  TranslateContext context;
  context.databaseName = "test";
  for (const std::string& statement : splitScript(script)) {
    std::vector<Token> tokens;
    if (!tokenize(statement, tokens, error)) return -1;
    Translation tr;
    pending_ = Pending{};
    if (!translate(tokens, 0, tokens.size() - 1, *this, context, tr, error)) return -1;
    apply();
  }
  return 0;
}

int MemoryCatalog::loadFile(const std::string& path, ServerError& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = ServerError{0, "HY000", "cannot read " + path};
    return -1;
  }
  std::stringstream text;
  text << in.rdbuf();
  return load(text.str(), error);
}

void MemoryCatalog::apply() {
  for (const std::string& name : pending_.schemas) schemas_[lowerCase(name)] = name;
  for (const std::string& name : pending_.dropped) tables_.erase(name);
  for (Table& t : pending_.tables) tables_[t.sqliteName] = std::move(t);
  for (auto& [table, c] : pending_.constraints) {
    auto it = tables_.find(table);
    if (it != tables_.end()) it->second.constraints.push_back(std::move(c));
  }
  pending_ = Pending{};
}

const std::string* MemoryCatalog::findSchema(std::string_view schema) const {
  auto it = schemas_.find(lowerCase(schema));
  return it == schemas_.end() ? nullptr : &it->second;
}

const Table* MemoryCatalog::findTable(std::string_view schema, std::string_view table) const {
  return findBySqliteName(sqliteTableName(schema, table));
}

const Table* MemoryCatalog::findBySqliteName(std::string_view sqliteName) const {
  auto it = tables_.find(sqliteName);
  return it == tables_.end() ? nullptr : &it->second;
}

std::string MemoryCatalog::recordSchema(std::string_view name) const {
  pending_.schemas.emplace_back(name);
  return {};
}

std::string MemoryCatalog::recordTable(const Table& table) const {
  pending_.tables.push_back(table);
  return {};
}

std::string MemoryCatalog::recordConstraint(const Table& table, const Constraint& c) const {
  pending_.constraints.emplace_back(table.sqliteName, c);
  return {};
}

std::string MemoryCatalog::forgetTable(std::string_view sqliteName) const {
  pending_.dropped.emplace_back(sqliteName);
  return {};
}

}  // namespace testdb
