#pragma once
// Splits T-SQL text into tokens. Literals are decoded here once (a doubled
// apostrophe is one apostrophe), so no later step ever looks inside them.

#include <string>
#include <string_view>
#include <vector>

#include "sqlserver/server_error.h"

namespace testdb {

enum class TokenKind {
  End,         // after the last token
  Word,        // keyword or plain identifier
  QuotedName,  // [name] or "name"
  String,      // 'text' or N'text'
  Number,      // 12, 1.5, 2e3
  Variable,    // @name
  Symbol,      // operator or punctuation
};

struct Token {
  // what the token is
  TokenKind kind = TokenKind::End;
  // name without brackets, decoded literal, digits, or the operator itself
  std::string text;
  // the token as written, for messages
  std::string_view source;
  // offset of the token's first character in the statement text
  size_t offset = 0;
};

/// Tokenizes sql into out (ending with an End token). Returns true, or false
/// with 105 (unclosed quotation mark) or 102 in error.
bool tokenize(std::string_view sql, std::vector<Token>& out, ServerError& error);

/// True when a Word token is the keyword kw (ASCII, case-insensitive).
bool isKeyword(const Token& t, std::string_view kw);

/// ASCII case-insensitive equality of two texts.
bool equalsNoCase(std::string_view a, std::string_view b);

/// Lower-case (ASCII) copy of a text.
std::string lowerCase(std::string_view s);

}  // namespace testdb
