#include "tsql/sql_script.h"

namespace testdb {
namespace {

// True when the token stands alone on its line (blanks around it allowed).
bool aloneOnLine(std::string_view sql, const Token& t) {
  for (size_t i = t.offset; i > 0 && sql[i - 1] != '\n'; --i) {
    if (sql[i - 1] != ' ' && sql[i - 1] != '\t') return false;
  }
  for (size_t i = t.offset + t.source.size(); i < sql.size() && sql[i] != '\n'; ++i) {
    if (sql[i] != ' ' && sql[i] != '\t' && sql[i] != '\r') return false;
  }
  return true;
}

// Where the text after a separator starts: after a ';', after the end of a GO
// line, or right after a GO that starts a statement with more on its line
// (isql -n joins lines so: "go INSERT ...").
size_t afterSeparator(std::string_view sql, const Token& t) {
  if (t.kind == TokenKind::Symbol) return t.offset + 1;
  if (!aloneOnLine(sql, t)) return t.offset + t.source.size();
  size_t eol = sql.find('\n', t.offset);
  return eol == std::string_view::npos ? sql.size() : eol + 1;
}

// Where the text before a separator ends: at a ';', or where a GO line starts.
size_t beforeSeparator(std::string_view sql, const Token& t) {
  if (t.kind == TokenKind::Symbol) return t.offset;
  size_t i = t.offset;
  while (i > 0 && sql[i - 1] != '\n') --i;
  return i;
}

}  // namespace

std::vector<StatementSpan> splitStatements(std::string_view sql, const std::vector<Token>& tokens) {
  std::vector<StatementSpan> out;
  size_t start = 0;
  size_t textStart = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    bool end = t.kind == TokenKind::End;
    bool separator = end || (t.kind == TokenKind::Symbol && t.text == ";") ||
                     (isKeyword(t, "GO") && (i == start || aloneOnLine(sql, t)));
    if (!separator) continue;
    if (i > start) out.push_back(StatementSpan{start, i, textStart, end ? sql.size() : beforeSeparator(sql, t)});
    start = i + 1;
    if (!end) textStart = afterSeparator(sql, t);
  }
  return out;
}

namespace {

/// Tokenizes a script for cutting; where it cannot be tokenized, the rest of
/// it from there on stands as one token.
std::vector<Token> scriptTokens(std::string_view script) {
  std::vector<Token> tokens;
  ServerError error;
  if (!tokenize(script, tokens, error)) {
    // What could not be tokenized stands as one token up to the end, so the
    // statement it belongs to reaches the server and gets the error there.
    Token bad;
    bad.kind = TokenKind::Symbol;
    bad.offset = tokens.empty() ? 0 : tokens.back().offset + tokens.back().source.size();
    bad.source = script.substr(bad.offset);
    tokens.push_back(bad);
    Token end;
    end.kind = TokenKind::End;
    end.offset = script.size();
    tokens.push_back(end);
  }
  return tokens;
}

}  // namespace

std::vector<std::string> splitBatches(std::string_view script) {
  std::vector<Token> tokens = scriptTokens(script);
  std::vector<std::string> out;
  size_t start = 0;
  bool hasTokens = false;
  for (const Token& t : tokens) {
    bool end = t.kind == TokenKind::End;
    if (!end && !(isKeyword(t, "GO") && aloneOnLine(script, t))) {
      hasTokens = true;
      continue;
    }
    if (hasTokens) out.emplace_back(script.substr(start, (end ? script.size() : beforeSeparator(script, t)) - start));
    hasTokens = false;
    if (!end) start = afterSeparator(script, t);
  }
  return out;
}

std::vector<std::string> splitScript(std::string_view script) {
  std::vector<Token> tokens = scriptTokens(script);
  std::vector<std::string> out;
  for (const StatementSpan& s : splitStatements(script, tokens)) {
    out.emplace_back(script.substr(s.textBegin, s.textEnd - s.textBegin));
  }
  return out;
}

}  // namespace testdb
