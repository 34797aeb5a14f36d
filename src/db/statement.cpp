#include "db/statement.h"

#include <cstdarg>
#include <cstdio>

#include "common/cp1252.h"

StatementGuard::StatementGuard(SQLHDBC connection) {
  allocation = SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle);
  // Without a connection the driver manager answers SQL_INVALID_HANDLE, which
  // is no statement either.
  if (!SQL_SUCCEEDED(allocation)) {
    allocation = SQL_ERROR;
    handle = SQL_NULL_HSTMT;
  }
}

StatementGuard::~StatementGuard() {
  if (allocation != SQL_ERROR && handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle);
}

int formatStatement(char (&buffer)[kStatementCapacity], int limit, const char* format, ...) {
  if (limit > kStatementCapacity) limit = kStatementCapacity;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, static_cast<size_t>(limit), format, args);
  va_end(args);
  // A cut statement would run a different query: refuse it and leave the
  // buffer empty, so nothing can execute it by mistake.
  if (n < 0 || n >= limit) {
    buffer[0] = '\0';
    return -1;
  }
  return 0;
}

int escapeSqlText(std::string_view text, char* dst, size_t cap, char replacement) {
  if (cap == 0) return -1;
  size_t out = 0;
  for (char c : text) {
    if (c == '\0') break;
    if (isUndeliverableByte(c)) {
      if (replacement == '\0') {
        dst[0] = '\0';
        return -1;
      }
      c = replacement;
    }
    size_t need = c == '\'' ? 2 : 1;
    if (out + need >= cap) {
      dst[0] = '\0';
      return -1;
    }
    dst[out++] = c;
    if (c == '\'') dst[out++] = '\'';
  }
  dst[out] = '\0';
  return 0;
}

bool isPlainNumber(std::string_view text) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  size_t end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < end && isDigit(text[i]); ++i) ++digits;
  if (i < end && text[i] == '.') {
    for (++i; i < end && isDigit(text[i]); ++i) ++digits;
  }
  return digits > 0 && i == end;
}
