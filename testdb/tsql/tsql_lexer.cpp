#include "tsql/tsql_lexer.h"

namespace testdb {
namespace {

bool isWordStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' || c >= 0x80;
}

bool isWordChar(unsigned char c) {
  return isWordStart(c) || (c >= '0' && c <= '9') || c == '@' || c == '$';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a quoted run closed by `close`, where a doubled close is one character.
// Returns the position after the closing character, or npos when unclosed.
size_t readQuoted(std::string_view sql, size_t pos, char close, std::string& text) {
  while (pos < sql.size()) {
    char c = sql[pos];
    if (c == close) {
      if (pos + 1 < sql.size() && sql[pos + 1] == close) {
        text += close;
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    text += c;
    ++pos;
  }
  return std::string_view::npos;
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string lowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

bool isKeyword(const Token& t, std::string_view kw) {
  return t.kind == TokenKind::Word && equalsNoCase(t.text, kw);
}

bool tokenize(std::string_view sql, std::vector<Token>& out, ServerError& error) {
  out.clear();
  size_t pos = 0;
  while (true) {
    // Blanks and comments separate tokens; block comments nest in T-SQL.
    while (pos < sql.size()) {
      char c = sql[pos];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        ++pos;
      } else if (c == '-' && pos + 1 < sql.size() && sql[pos + 1] == '-') {
        while (pos < sql.size() && sql[pos] != '\n') ++pos;
      } else if (c == '/' && pos + 1 < sql.size() && sql[pos + 1] == '*') {
        int depth = 0;
        do {
          if (sql.compare(pos, 2, "/*") == 0) {
            ++depth;
            pos += 2;
          } else if (sql.compare(pos, 2, "*/") == 0) {
            --depth;
            pos += 2;
          } else {
            ++pos;
          }
        } while (depth > 0 && pos < sql.size());
      } else {
        break;
      }
    }
    Token t;
    t.offset = pos;
    if (pos >= sql.size()) {
      t.kind = TokenKind::End;
      out.push_back(std::move(t));
      return true;
    }
    size_t start = pos;
    unsigned char c = static_cast<unsigned char>(sql[pos]);
    if (c == '\'' || ((c == 'N' || c == 'n') && pos + 1 < sql.size() && sql[pos + 1] == '\'')) {
      size_t open = c == '\'' ? pos + 1 : pos + 2;
      t.kind = TokenKind::String;
      size_t after = readQuoted(sql, open, '\'', t.text);
      if (after == std::string_view::npos) {
        error = serverError(105, {t.text});
        return false;
      }
      pos = after;
    } else if (c == '[' || c == '"') {
      t.kind = TokenKind::QuotedName;
      size_t after = readQuoted(sql, pos + 1, c == '[' ? ']' : '"', t.text);
      if (after == std::string_view::npos) {
        error = c == '[' ? serverError(105, {t.text}) : serverError(105, {t.text});
        return false;
      }
      pos = after;
    } else if (isDigit(static_cast<char>(c)) || (c == '.' && pos + 1 < sql.size() && isDigit(sql[pos + 1]))) {
      t.kind = TokenKind::Number;
      while (pos < sql.size() && isDigit(sql[pos])) ++pos;
      if (pos < sql.size() && sql[pos] == '.') {
        ++pos;
        while (pos < sql.size() && isDigit(sql[pos])) ++pos;
      }
      if (pos < sql.size() && (sql[pos] == 'e' || sql[pos] == 'E')) {
        size_t e = pos + 1;
        if (e < sql.size() && (sql[e] == '+' || sql[e] == '-')) ++e;
        if (e < sql.size() && isDigit(sql[e])) {
          pos = e;
          while (pos < sql.size() && isDigit(sql[pos])) ++pos;
        }
      }
      t.text = std::string(sql.substr(start, pos - start));
    } else if (c == '@') {
      t.kind = TokenKind::Variable;
      ++pos;
      while (pos < sql.size() && isWordChar(static_cast<unsigned char>(sql[pos]))) ++pos;
      t.text = std::string(sql.substr(start, pos - start));
    } else if (isWordStart(c)) {
      t.kind = TokenKind::Word;
      while (pos < sql.size() && isWordChar(static_cast<unsigned char>(sql[pos]))) ++pos;
      t.text = std::string(sql.substr(start, pos - start));
    } else {
      t.kind = TokenKind::Symbol;
      static constexpr std::string_view kTwo[] = {"<=", ">=", "<>", "!=", "!<", "!>"};
      bool two = false;
      for (std::string_view op : kTwo) {
        if (sql.compare(pos, 2, op) == 0) two = true;
      }
      pos += two ? 2 : 1;
      t.text = std::string(sql.substr(start, pos - start));
      if (std::string_view("(),.;=<>+-*/%&|^~!").find(t.text[0]) == std::string_view::npos) {
        error = serverError(102, {t.text});
        return false;
      }
    }
    t.source = sql.substr(start, pos - start);
    out.push_back(std::move(t));
  }
}

}  // namespace testdb
