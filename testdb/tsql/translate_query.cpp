// SELECT: the FROM clause is read first so that the select list can be bound
// to its tables, as SQL Server binds names after parsing.

#include "tsql/translator.h"

namespace testdb {
namespace {

ResultColumn columnOf(const Column& c) {
  ResultColumn rc;
  rc.label = c.name;
  rc.type = TypeSpec{c.type, c.length, c.scale};
  rc.typeKnown = true;
  rc.nullable = !c.notNull;
  return rc;
}

}  // namespace

bool Translator::query(const Scope* outer, std::string& sql, std::vector<ResultColumn>* columns,
                       const std::vector<TypeSpec>* coerceTo) {
  if (!expectKeyword("SELECT")) return false;
  bool distinct = acceptKeyword("DISTINCT");
  if (!distinct) acceptKeyword("ALL");
  std::string limit;
  if (acceptKeyword("TOP")) {
    bool paren = acceptSymbol("(");
    if (peek().kind != TokenKind::Number) return syntaxError();
    limit = take().text;
    if (paren && !expectSymbol(")")) return false;
  }

  // Find this level's FROM (outside parentheses) and read it first.
  size_t listStart = pos_;
  size_t fromPos = 0;
  int depth = 0;
  for (size_t i = pos_; i < end_; ++i) {
    const Token& t = tokens_[i];
    if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
    if (t.kind == TokenKind::Symbol && t.text == ")") {
      if (--depth < 0) break;
    }
    if (depth == 0 && isKeyword(t, "FROM")) {
      fromPos = i;
      break;
    }
    // A query without FROM ends where the next statement of its batch begins.
    if (depth == 0 && ((t.kind == TokenKind::Symbol && t.text == ";") || beginsStatement(t))) break;
  }
  Scope scope;
  scope.outer = outer;
  std::string from;
  size_t afterFrom = 0;
  if (fromPos) {
    pos_ = fromPos + 1;
    if (!fromClause(scope, from)) return false;
    afterFrom = pos_;
    pos_ = listStart;
  }

  // The select list.
  std::vector<std::string> items;
  std::vector<ResultColumn> result;
  std::vector<std::string> labels;
  do {
    bool star = atSymbol("*");
    bool qualifiedStar = (peek().kind == TokenKind::Word || peek().kind == TokenKind::QuotedName) &&
                         atSymbol(".", 1) && atSymbol("*", 2);
    if (star || qualifiedStar) {
      std::string qualifier = qualifiedStar ? take().text : std::string();
      if (qualifiedStar) take();
      take();
      bool any = false;
      for (const ScopeTable& st : scope.tables) {
        if (qualifiedStar && !equalsNoCase(st.alias, qualifier)) continue;
        any = true;
        if (!st.table) continue;
        for (const Column& c : st.table->columns) {
          items.push_back(st.sqlAlias + "." + quoteIdent(c.name));
          result.push_back(columnOf(c));
        }
      }
      if (!any) {
        deferError(qualifiedStar ? serverError(107, {qualifier}) : serverError(263), kBindError);
      }
      continue;
    }
    Expr e;
    if (!expression(scope, e)) return false;
    ResultColumn rc;
    rc.type = e.type;
    rc.typeKnown = e.typeKnown;
    if (e.column) rc = columnOf(*e.column);
    if (e.isConst && e.value.kind == ValueKind::Text && !e.typeKnown) {
      rc.type = TypeSpec{ColumnType::VarChar, static_cast<int>(e.value.s.size()), 0};
      rc.typeKnown = true;
    }
    bool aliased = acceptKeyword("AS");
    const Token& t = peek();
    if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::String ||
        (t.kind == TokenKind::Word && !isReserved(t))) {
      rc.label = take().text;
    } else if (aliased) {
      return syntaxError();
    } else if (!e.column) {
      rc.label.clear();
    }
    items.push_back(emit(e));
    result.push_back(rc);
  } while (acceptSymbol(","));

  if (fromPos) {
    if (pos_ != fromPos) return syntaxError();
    pos_ = afterFrom;
  }

  if (coerceTo) {
    if (coerceTo->size() != items.size()) {
      deferError(serverError(items.size() < coerceTo->size() ? 120 : 121), kBindError);
    } else {
      for (size_t i = 0; i < items.size(); ++i) {
        const TypeSpec& t = (*coerceTo)[i];
        items[i] = "tsql_coerce(" + items[i] + ", " + std::to_string(static_cast<int>(t.type)) + ", " +
                   std::to_string(t.length) + ", " + std::to_string(t.scale) + ")";
      }
    }
  }

  sql = distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) sql += ", ";
    sql += items[i];
    if (!result[i].label.empty()) sql += " AS " + quoteIdent(result[i].label);
  }
  if (!from.empty()) sql += " FROM " + from;

  if (acceptKeyword("WHERE")) {
    Expr where;
    if (!expression(scope, where)) return false;
    sql += " WHERE " + emit(where);
  }
  if (atKeyword("GROUP")) {
    take();
    if (!expectKeyword("BY")) return false;
    sql += " GROUP BY ";
    bool first = true;
    do {
      Expr g;
      if (!expression(scope, g)) return false;
      if (!first) sql += ", ";
      first = false;
      sql += emit(g);
    } while (acceptSymbol(","));
  }
  if (acceptKeyword("HAVING")) {
    Expr h;
    if (!expression(scope, h)) return false;
    sql += " HAVING " + emit(h);
  }
  if (atKeyword("ORDER")) {
    take();
    if (!expectKeyword("BY")) return false;
    sql += " ORDER BY ";
    bool first = true;
    do {
      if (!first) sql += ", ";
      first = false;
      const Token& t = peek();
      bool single = (t.kind == TokenKind::Word || t.kind == TokenKind::QuotedName) && !isReserved(t) &&
                    !atSymbol(".", 1) && !atSymbol("(", 1);
      std::string label;
      if (single) {
        for (const ResultColumn& rc : result) {
          if (!rc.label.empty() && equalsNoCase(rc.label, t.text)) label = rc.label;
        }
      }
      if (t.kind == TokenKind::Number) {
        sql += take().text;  // a column position, never a parameter
      } else if (!label.empty()) {
        take();
        sql += quoteIdent(label);
      } else {
        Expr o;
        if (!expression(scope, o)) return false;
        sql += emit(o);
      }
      if (acceptKeyword("DESC")) {
        sql += " DESC";
      } else {
        acceptKeyword("ASC");
      }
    } while (acceptSymbol(","));
  }
  if (!limit.empty()) sql += " LIMIT " + limit;
  if (columns) *columns = std::move(result);
  return true;
}

bool Translator::fromClause(Scope& scope, std::string& sql) {
  if (!tableRef(scope, sql)) return false;
  while (true) {
    if (acceptSymbol(",")) {
      sql += ", ";
      if (!tableRef(scope, sql)) return false;
      continue;
    }
    std::string join;
    bool cross = false;
    if (atKeyword("JOIN") || atKeyword("INNER")) {
      if (acceptKeyword("INNER") && !atKeyword("JOIN")) return syntaxError();
      join = " JOIN ";
    } else if (atKeyword("LEFT") || atKeyword("RIGHT") || atKeyword("FULL")) {
      join = " " + std::string(take().text) + " JOIN ";
      for (char& c : join) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      acceptKeyword("OUTER");
      if (!atKeyword("JOIN")) return syntaxError();
    } else if (atKeyword("CROSS")) {
      take();
      cross = true;
      join = " CROSS JOIN ";
      if (!atKeyword("JOIN")) return syntaxError();
    } else {
      return true;
    }
    take();  // JOIN
    sql += join;
    if (!tableRef(scope, sql)) return false;
    if (!cross) {
      if (!expectKeyword("ON")) return false;
      Expr on;
      if (!expression(scope, on)) return false;
      sql += " ON " + emit(on);
    }
  }
}

bool Translator::tableRef(Scope& scope, std::string& sql) {
  std::vector<std::string> parts;
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  ScopeTable st;
  st.table = resolveTable(parts, written);
  st.alias = parts.back();
  st.sqlAlias = "t" + std::to_string(aliasCounter_++);
  bool aliased = acceptKeyword("AS");
  const Token& t = peek();
  if (t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !isReserved(t))) {
    st.alias = take().text;
    st.explicitAlias = true;
  } else if (aliased) {
    return syntaxError();
  }
  if (!skipTableHints()) return false;
  sql += quoteIdent(st.table ? st.table->sqliteName : "missing") + " AS " + st.sqlAlias;
  scope.tables.push_back(std::move(st));
  return true;
}

}  // namespace testdb
