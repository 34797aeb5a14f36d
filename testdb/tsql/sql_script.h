#pragma once
// Where one T-SQL statement ends and the next begins: at a ';' and at a line
// that holds only GO, never inside a literal, a quoted name or a comment (block
// comments nest). One rule for the engine's batches and for the scripts that
// dulmar-sqlrun and the tests send statement by statement.

#include <string>
#include <string_view>
#include <vector>

#include "tsql/tsql_lexer.h"

namespace testdb {

struct StatementSpan {
  // its tokens: [begin, end) of the tokens split
  size_t begin = 0;
  size_t end = 0;
  // its text: [textBegin, textEnd) of the text, comments included, separator not
  size_t textBegin = 0;
  size_t textEnd = 0;
  // the line of the text its first token stands on (from 1)
  int line = 1;
};

/// The statements of sql, whose tokens are `tokens` (ending with an End token,
/// or cut short where tokenizing failed). Statements without tokens are left out.
std::vector<StatementSpan> splitStatements(std::string_view sql, const std::vector<Token>& tokens);

/// The batches of a script as the client tools cut it: at each line that holds
/// only GO (any case), never inside a literal, a quoted name or a comment.
/// Batches holding nothing but blanks and comments are left out.
std::vector<std::string> splitBatches(std::string_view script);

/// The statements of a script as texts. Where the text cannot be tokenized, the
/// rest of it from the last separator on is one statement, so that running it
/// gives the tokenizer's error.
std::vector<std::string> splitScript(std::string_view script);

}  // namespace testdb
