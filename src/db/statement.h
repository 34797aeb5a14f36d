#pragma once
// The pieces every statement of the program shares: a guarded statement
// handle, bounded formatting into the connection's statement buffer and the
// escaping of texts that go between apostrophes.

#include <cstddef>
#include <string_view>

#include "db/odbc.h"

/// Capacity of a statement buffer.
inline constexpr int kStatementCapacity = 1024;
/// Longest lookup or booking insert statement, in characters.
inline constexpr int kStatementLimit = 1000;

/// A statement handle on a connection, freed on every path.
struct StatementGuard {
  explicit StatementGuard(SQLHDBC connection);
  StatementGuard(const StatementGuard&) = delete;
  StatementGuard& operator=(const StatementGuard&) = delete;
  ~StatementGuard();

  /// The result of the allocation: SQL_ERROR when there is no handle.
  SQLRETURN allocation = SQL_ERROR;
  SQLHSTMT handle = SQL_NULL_HSTMT;
};

/// snprintf into a statement buffer. Returns 0, or -1 when the statement
/// would be limit characters or longer (the buffer is then left empty, so it
/// can never be executed cut).
int formatStatement(char (&buffer)[kStatementCapacity], int limit, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

/// Copies text into dst (capacity cap) with every apostrophe doubled, as SQL
/// Server reads a literal. A byte that is no Windows-1252 character cannot
/// reach the server: it becomes the given replacement, or with none ('\0')
/// the text is refused. Returns 0, or -1 when it does not fit or was refused
/// (dst empty).
int escapeSqlText(std::string_view text, char* dst, size_t cap, char replacement = '\0');

/// Whether text may stand unquoted in a statement as a number: blanks around
/// an optional sign, digits and an optional decimal part, as the server reads
/// a numeric literal; nothing else, so it can never change the statement.
bool isPlainNumber(std::string_view text);

/// escapeSqlText into an array; twice the field plus one always fits a field.
template <size_t N>
int escapeSql(std::string_view text, char (&dst)[N]) {
  return escapeSqlText(text, dst, N);
}
