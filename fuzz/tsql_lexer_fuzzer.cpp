// The test database's T-SQL tokenizer on arbitrary text. It either gives a
// token list that ends in End and covers the text in order, each token's
// source being the text at its offset and each decoded literal encoding back
// to what was written, or it fails with 102 or 105; never more than that.

#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tsql/tsql_lexer.h"

namespace {
using testdb::Token;
using testdb::TokenKind;

/// The body of a quoted token as written: every close character doubled.
std::string encodeQuoted(std::string_view text, char close) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == close) out += close;
  }
  return out;
}

void checkToken(std::string_view sql, const Token& t) {
  require(t.offset <= sql.size() && t.source.size() <= sql.size() - t.offset, "token inside the text");
  require(t.source == sql.substr(t.offset, t.source.size()), "token source is the text at its offset");
  require(!t.source.empty(), "every token but End takes at least one character");
  switch (t.kind) {
    case TokenKind::String: {
      const size_t open = t.source.front() == '\'' ? 1 : 2;  // 'text' or N'text'
      require(t.source.size() >= open + 1 && t.source.back() == '\'', "string literal quoted");
      require(encodeQuoted(t.text, '\'') == t.source.substr(open, t.source.size() - open - 1),
              "string literal decodes doubled apostrophes only");
      break;
    }
    case TokenKind::QuotedName: {
      const char close = t.source.front() == '[' ? ']' : '"';
      require(t.source.size() >= 2 && t.source.back() == close, "quoted name closed");
      require(encodeQuoted(t.text, close) == t.source.substr(1, t.source.size() - 2),
              "quoted name decodes doubled closing characters only");
      break;
    }
    case TokenKind::Word:
    case TokenKind::Number:
    case TokenKind::Variable:
    case TokenKind::Symbol:
      require(t.text == t.source, "plain token text is its source");
      break;
    case TokenKind::End:
      require(false, "End only last");
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  std::vector<Token> tokens;
  testdb::ServerError error;
  if (!testdb::tokenize(sql, tokens, error)) {
    require(error.native == 102 || error.native == 105, "a failed tokenize reports 102 or 105");
    require(!error.message.empty(), "a failed tokenize has a message");
    return 0;
  }
  require(!tokens.empty() && tokens.back().kind == TokenKind::End, "token list ends in End");
  size_t end = 0;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    checkToken(sql, tokens[i]);
    require(tokens[i].offset >= end, "tokens in order and apart");
    end = tokens[i].offset + tokens[i].source.size();
  }
  require(tokens.back().offset >= end && tokens.back().offset <= sql.size(), "End after the last token");
  return 0;
}
