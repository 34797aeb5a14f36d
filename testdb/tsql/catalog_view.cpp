#include "tsql/catalog_view.h"

#include "tsql/tsql_lexer.h"

namespace testdb {

const Column* Table::find(std::string_view column) const {
  for (const Column& c : columns) {
    if (equalsNoCase(c.name, column)) return &c;
  }
  return nullptr;
}

std::string sqliteTableName(std::string_view schema, std::string_view table) {
  return lowerCase(schema) + "__" + lowerCase(table);
}

}  // namespace testdb
