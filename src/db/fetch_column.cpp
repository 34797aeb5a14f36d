#include "db/fetch_column.h"

#include <cstring>

#include "common/field.h"

SQLRETURN bindColumn(SQLHSTMT statement, SQLUSMALLINT number, BoundColumn& column) {
  std::memset(&column, 0, sizeof column);
  return SQLBindCol(statement, number, SQL_C_CHAR, column.text, sizeof column.text, &column.indicator);
}

int takeColumn(const BoundColumn& column, char* dst, size_t cap) {
  if (column.indicator == SQL_NULL_DATA) {
    dst[0] = '\0';
    return 0;
  }
  // The driver cut the value (or could not tell its length): what it left is
  // not the value.
  if (column.indicator < 0 || column.indicator >= static_cast<SQLLEN>(sizeof column.text)) return -1;
  std::string_view value = fieldView(column.text);
  // Trailing blanks of char(n) columns are padding, not content.
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  if (value.size() >= cap) return -1;
  copyText(dst, cap, value);
  return 0;
}
