#pragma once
// Result sets on the wire: COLMETADATA from the types the engine declares,
// ROW tokens from the values SQLite holds.

#include <sqlite3.h>

#include <cstdint>
#include <vector>

#include "sqlserver/sql_value.h"
#include "tsql/translate.h"

namespace testdb::tds {

/// COLMETADATA describing columns.
void writeColumnMetadata(std::vector<uint8_t>& out, const std::vector<ResultColumn>& columns);

/// One ROW token: values[i] in the wire form of columns[i].
void writeRow(std::vector<uint8_t>& out, const std::vector<ResultColumn>& columns, const std::vector<Value>& values);

/// The current row of a stepped statement as values.
void readRow(sqlite3_stmt* st, size_t count, std::vector<Value>& values);

}  // namespace testdb::tds
