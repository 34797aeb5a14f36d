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
  // The value is used as the server sent it, char(n) padding included; only
  // padding that would not fit the field is dropped, never content.
  std::string_view content = value;
  while (!content.empty() && content.back() == ' ') content.remove_suffix(1);
  if (content.size() >= cap) return -1;
  copyText(dst, cap, value.substr(0, cap - 1));
  return 0;
}
