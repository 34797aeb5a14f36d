// Expressions: constants are folded here (CONVERT of a literal, CURRENT_TIMESTAMP,
// implicit conversions in comparisons), so their errors come before any row is
// read, as SQL Server's constant folding makes them come.

#include <cstdlib>

#include "sqlserver/datetime_text.h"
#include "tsql/translator.h"

namespace testdb {
namespace {

Expr booleanExpr(std::string sql) {
  Expr e;
  e.sql = std::move(sql);
  e.type = TypeSpec{ColumnType::Int, 0, 0};
  e.typeKnown = true;
  return e;
}

Expr constantExpr(Value v) {
  Expr e;
  e.isConst = true;
  e.value = std::move(v);
  if (e.value.kind == ValueKind::Int) {
    e.type = TypeSpec{ColumnType::Int, 0, 0};
    e.typeKnown = true;
  } else if (e.value.kind == ValueKind::Real) {
    e.type = TypeSpec{ColumnType::Float, 0, 0};
    e.typeKnown = true;
  }
  return e;
}

Expr typedExpr(std::string sql, ColumnType type, int length = 0) {
  Expr e;
  e.sql = std::move(sql);
  e.type = TypeSpec{type, length, 0};
  e.typeKnown = true;
  return e;
}

bool isNumber(const Value& v) { return v.kind == ValueKind::Int || v.kind == ValueKind::Real; }

double asDouble(const Value& v) { return v.kind == ValueKind::Int ? static_cast<double>(v.i) : v.d; }

Value nowValue() { return Value::text(canonicalText(localNow())); }

// T-SQL function name -> SQLite function, result type (0: type of the first argument).
struct FunctionMap {
  const char* tsql;
  const char* sqlite;
  int result;  // 1 varchar, 2 int, 0 first argument's type
  int minArgs;
  int maxArgs;
};

constexpr FunctionMap kFunctions[] = {
    {"ISNULL", "ifnull", 0, 2, 2},     {"COALESCE", "coalesce", 0, 2, 16},
    {"NULLIF", "nullif", 0, 2, 2},     {"UPPER", "upper", 1, 1, 1},
    {"LOWER", "lower", 1, 1, 1},       {"LTRIM", "ltrim", 1, 1, 1},
    {"RTRIM", "rtrim", 1, 1, 1},       {"SUBSTRING", "substr", 1, 3, 3},
    {"REPLACE", "replace", 1, 3, 3},   {"LEFT", "tsql_left", 1, 2, 2},
    {"RIGHT", "tsql_right", 1, 2, 2},  {"LEN", "tsql_len", 2, 1, 1},
    {"DATALENGTH", "length", 2, 1, 1}, {"ABS", "abs", 0, 1, 1},
    {"ROUND", "round", 0, 2, 2},       {"YEAR", "tsql_year", 2, 1, 1},
    {"MONTH", "tsql_month", 2, 1, 1},  {"DAY", "tsql_day", 2, 1, 1},
    {"MIN", "min", 0, 1, 1},           {"MAX", "max", 0, 1, 1},
    {"SUM", "sum", 0, 1, 1},           {"AVG", "avg", 0, 1, 1},
    {"COUNT", "count", 2, 1, 1},
};

}  // namespace

std::string& Translator::emit(Expr& e) {
  if (e.isConst && e.sql.empty()) {
    if (inlineConstants_) {
      e.sql = "(" + sqliteLiteral(e.value) + ")";
    } else {
      out_.params.push_back(e.value);
      e.sql = "?" + std::to_string(out_.params.size());
    }
  }
  return e.sql;
}

void Translator::alignConstant(const Expr& typed, Expr& constant) {
  if (!typed.typeKnown || !constant.isConst || constant.value.kind != ValueKind::Text || typed.isConst) return;
  if (typed.type.type == ColumnType::DateTime) {
    Value v;
    ServerError err;
    if (!convertValue(constant.value, TypeSpec{ColumnType::DateTime, 0, 0}, 0, false, v, err)) {
      deferError(err, kRuntimeError);
      return;
    }
    constant.value = v;
  } else if (isInteger(typed.type.type)) {
    Value v;
    ServerError err;
    if (!convertValue(constant.value, TypeSpec{ColumnType::BigInt, 0, 0}, 0, false, v, err)) {
      err = serverError(245, {constant.value.s, typeName(typed.type.type)});
      deferError(err, kRuntimeError);
      return;
    }
    constant.value = v;
  }
}

bool Translator::expression(const Scope& scope, Expr& e) {
  if (!andExpr(scope, e)) return false;
  while (acceptKeyword("OR")) {
    Expr r;
    if (!andExpr(scope, r)) return false;
    e = booleanExpr(emit(e) + " OR " + emit(r));
  }
  return true;
}

bool Translator::andExpr(const Scope& scope, Expr& e) {
  if (!notExpr(scope, e)) return false;
  while (acceptKeyword("AND")) {
    Expr r;
    if (!notExpr(scope, r)) return false;
    e = booleanExpr(emit(e) + " AND " + emit(r));
  }
  return true;
}

bool Translator::notExpr(const Scope& scope, Expr& e) {
  if (acceptKeyword("NOT")) {
    Expr inner;
    if (!notExpr(scope, inner)) return false;
    e = booleanExpr("NOT " + emit(inner));
    return true;
  }
  return predicate(scope, e);
}

bool Translator::predicate(const Scope& scope, Expr& e) {
  if (atKeyword("EXISTS")) {
    take();
    if (!expectSymbol("(")) return false;
    std::string sub;
    if (!subquery(scope, sub)) return false;
    if (!expectSymbol(")")) return false;
    e = booleanExpr("EXISTS (" + sub + ")");
    return true;
  }
  if (!additive(scope, e)) return false;
  if (atKeyword("IS")) {
    take();
    bool negated = acceptKeyword("NOT");
    if (!expectKeyword("NULL")) return false;
    e = booleanExpr(emit(e) + (negated ? " IS NOT NULL" : " IS NULL"));
    return true;
  }
  bool negated = false;
  if (atKeyword("NOT") && (atKeyword("LIKE", 1) || atKeyword("IN", 1) || atKeyword("BETWEEN", 1))) {
    take();
    negated = true;
  }
  const char* notText = negated ? " NOT" : "";
  if (acceptKeyword("LIKE")) {
    Expr pattern;
    if (!additive(scope, pattern)) return false;
    std::string sql = emit(e) + notText + " LIKE " + emit(pattern);
    if (acceptKeyword("ESCAPE")) {
      Expr esc;
      if (!additive(scope, esc)) return false;
      sql += " ESCAPE " + emit(esc);
    }
    e = booleanExpr(sql);
    return true;
  }
  if (acceptKeyword("IN")) {
    if (!expectSymbol("(")) return false;
    std::string list;
    if (atKeyword("SELECT")) {
      if (!subquery(scope, list)) return false;
    } else {
      do {
        Expr item;
        if (!additive(scope, item)) return false;
        alignConstant(e, item);
        if (!list.empty()) list += ", ";
        list += emit(item);
      } while (acceptSymbol(","));
    }
    if (!expectSymbol(")")) return false;
    e = booleanExpr(emit(e) + notText + " IN (" + list + ")");
    return true;
  }
  if (acceptKeyword("BETWEEN")) {
    Expr lo, hi;
    if (!additive(scope, lo)) return false;
    if (!expectKeyword("AND")) return false;
    if (!additive(scope, hi)) return false;
    alignConstant(e, lo);
    alignConstant(e, hi);
    e = booleanExpr(emit(e) + notText + " BETWEEN " + emit(lo) + " AND " + emit(hi));
    return true;
  }
  if (negated) return syntaxError();
  const Token& op = peek();
  if (op.kind != TokenKind::Symbol) return true;
  std::string sqlOp;
  if (op.text == "=" || op.text == "<" || op.text == ">" || op.text == "<=" || op.text == ">=" || op.text == "<>" ||
      op.text == "!=") {
    sqlOp = op.text;
  } else if (op.text == "!<") {
    sqlOp = ">=";
  } else if (op.text == "!>") {
    sqlOp = "<=";
  } else {
    return true;
  }
  take();
  Expr r;
  if (!additive(scope, r)) return false;
  alignConstant(e, r);
  alignConstant(r, e);
  e = booleanExpr(emit(e) + " " + sqlOp + " " + emit(r));
  return true;
}

bool Translator::additive(const Scope& scope, Expr& e) {
  if (!multiplicative(scope, e)) return false;
  while (atSymbol("+") || atSymbol("-") || atSymbol("&") || atSymbol("|") || atSymbol("^")) {
    std::string op = take().text;
    Expr r;
    if (!multiplicative(scope, r)) return false;
    if (op == "+" && e.isConst && r.isConst && e.sql.empty() && r.sql.empty()) {
      // Constant folding: text + text concatenates, numbers add.
      if (e.value.kind == ValueKind::Text && r.value.kind == ValueKind::Text) {
        e = constantExpr(Value::text(e.value.s + r.value.s));
        continue;
      }
      if (e.value.kind == ValueKind::Int && r.value.kind == ValueKind::Int) {
        e = constantExpr(Value::integer(e.value.i + r.value.i));
        continue;
      }
      if (isNumber(e.value) && isNumber(r.value)) {
        e = constantExpr(Value::real(asDouble(e.value) + asDouble(r.value)));
        continue;
      }
    }
    bool leftText = (e.typeKnown && isText(e.type.type)) || (e.isConst && e.value.kind == ValueKind::Text);
    bool rightText = (r.typeKnown && isText(r.type.type)) || (r.isConst && r.value.kind == ValueKind::Text);
    bool leftNum = e.typeKnown && !isText(e.type.type) && e.type.type != ColumnType::DateTime;
    bool rightNum = r.typeKnown && !isText(r.type.type) && r.type.type != ColumnType::DateTime;
    if (op == "+" && leftText && rightText) {
      e = typedExpr("(" + emit(e) + " || " + emit(r) + ")", ColumnType::VarChar, e.type.length + r.type.length);
    } else if (op == "+" && !(leftNum && rightNum)) {
      Expr sum;
      sum.sql = "tsql_add(" + emit(e) + ", " + emit(r) + ")";
      e = sum;
    } else {
      TypeSpec t = e.type;
      bool known = e.typeKnown && r.typeKnown;
      e.sql = "(" + emit(e) + " " + op + " " + emit(r) + ")";
      e.isConst = false;
      e.column = nullptr;
      e.type = t;
      e.typeKnown = known;
    }
  }
  return true;
}

bool Translator::multiplicative(const Scope& scope, Expr& e) {
  if (!unary(scope, e)) return false;
  while (atSymbol("*") || atSymbol("/") || atSymbol("%")) {
    std::string op = take().text;
    Expr r;
    if (!unary(scope, r)) return false;
    TypeSpec t = e.type;
    bool known = e.typeKnown && r.typeKnown;
    std::string sql = "(" + emit(e) + " " + op + " " + emit(r) + ")";
    e = Expr{};
    e.sql = sql;
    e.type = t;
    e.typeKnown = known;
  }
  return true;
}

bool Translator::unary(const Scope& scope, Expr& e) {
  if (atSymbol("-") || atSymbol("+") || atSymbol("~")) {
    std::string op = take().text;
    if (!unary(scope, e)) return false;
    if (op == "+") return true;
    if (op == "-" && e.isConst && e.sql.empty() && isNumber(e.value)) {
      if (e.value.kind == ValueKind::Int)
        e.value.i = -e.value.i;
      else
        e.value.d = -e.value.d;
      return true;
    }
    e.sql = op + "(" + emit(e) + ")";
    e.isConst = false;
    e.column = nullptr;
    return true;
  }
  return primary(scope, e);
}

bool Translator::subquery(const Scope& scope, std::string& sql) { return query(&scope, sql, nullptr, nullptr); }

bool Translator::primary(const Scope& scope, Expr& e) {
  const Token& t = peek();
  switch (t.kind) {
    case TokenKind::Number: {
      take();
      bool whole = t.text.find_first_of(".eE") == std::string::npos && t.text.size() < 19;
      e = whole ? constantExpr(Value::integer(strtoll(t.text.c_str(), nullptr, 10)))
                : constantExpr(Value::real(strtod(t.text.c_str(), nullptr)));
      return true;
    }
    case TokenKind::String:
      take();
      e = constantExpr(Value::text(t.text));
      return true;
    case TokenKind::Variable:
      take();
      if (equalsNoCase(t.text, "@@TRANCOUNT")) {
        e = constantExpr(Value::integer(context_.tranCount));
        out_.readsSessionState = true;
        return true;
      }
      deferError(serverError(137, {t.text}), kBindError);
      e = constantExpr(Value::null());
      return true;
    case TokenKind::Symbol: {
      if (t.text != "(") return syntaxError();
      take();
      if (atKeyword("SELECT")) {
        std::string sub;
        if (!subquery(scope, sub)) return false;
        if (!expectSymbol(")")) return false;
        e = Expr{};
        e.sql = "(" + sub + ")";
        return true;
      }
      if (!expression(scope, e)) return false;
      if (!expectSymbol(")")) return false;
      if (!(e.isConst && e.sql.empty())) {
        e.sql = "(" + emit(e) + ")";
        e.column = nullptr;
      }
      return true;
    }
    case TokenKind::End:
      return syntaxError();
    default:
      break;
  }
  if (isKeyword(t, "NULL")) {
    take();
    e = constantExpr(Value::null());
    return true;
  }
  if (isKeyword(t, "CASE")) return caseExpr(scope, e);
  if (isKeyword(t, "CONVERT") || isKeyword(t, "CAST")) {
    bool isCast = isKeyword(take(), "CAST");
    return convertCall(scope, isCast, e);
  }
  if (isKeyword(t, "CURRENT_TIMESTAMP")) {
    take();
    e = constantExpr(nowValue());
    e.isNow = true;
    e.type = TypeSpec{ColumnType::DateTime, 0, 0};
    e.typeKnown = true;
    if (inlineConstants_) {
      e.isConst = false;
      e.sql = "tsql_now()";
    }
    return true;
  }
  if (t.kind == TokenKind::Word && atSymbol("(", 1) && !isReserved(t)) {
    const Token& name = take();
    take();
    return functionCall(scope, name, e);
  }
  if (isReserved(t)) return syntaxError();
  std::vector<std::string> parts;
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  return columnRef(scope, parts, written, e);
}

bool Translator::columnRef(const Scope& scope, const std::vector<std::string>& parts, const std::string& written,
                           Expr& e) {
  const std::string& name = parts.back();
  bool unresolvedTable = false;
  for (const Scope* s = &scope; s; s = s->outer) {
    const ScopeTable* found = nullptr;
    const Column* column = nullptr;
    int matches = 0;
    for (const ScopeTable& st : s->tables) {
      if (parts.size() >= 2) {
        const std::string& qualifier = parts[parts.size() - 2];
        bool byAlias = equalsNoCase(st.alias, qualifier);
        bool byTable = !st.explicitAlias && st.table && equalsNoCase(st.table->name, qualifier);
        if (!byAlias && !byTable) continue;
        if (parts.size() >= 3 && st.table && !equalsNoCase(st.table->schema, parts[parts.size() - 3])) continue;
      }
      if (!st.table) {
        unresolvedTable = true;
        continue;
      }
      const Column* c = st.table->find(name);
      if (!c) continue;
      ++matches;
      found = &st;
      column = c;
    }
    if (matches > 1) {
      deferError(serverError(209, {name}), kBindError);
    }
    if (matches >= 1) {
      e = Expr{};
      e.sql = found->sqlAlias.empty() ? quoteIdent(column->name) : found->sqlAlias + "." + quoteIdent(column->name);
      e.column = column;
      e.type = TypeSpec{column->type, column->length, column->scale};
      e.typeKnown = true;
      if (referencedColumns_) referencedColumns_->push_back(column->name);
      return true;
    }
  }
  if (!unresolvedTable) {
    if (parts.size() >= 2 && scope.tables.empty() == false) {
      bool prefixKnown = false;
      for (const Scope* s = &scope; s; s = s->outer) {
        for (const ScopeTable& st : s->tables) {
          if (equalsNoCase(st.alias, parts[parts.size() - 2])) prefixKnown = true;
        }
      }
      deferError(prefixKnown ? serverError(207, {name}) : serverError(4104, {written}), kBindError);
    } else {
      deferError(serverError(207, {name}), kBindError);
    }
  }
  e = Expr{};
  e.sql = "NULL";
  return true;
}

bool Translator::typeSpec(TypeSpec& t, int defaultLength, int ordinal) {
  const Token& name = peek();
  if (name.kind != TokenKind::Word && name.kind != TokenKind::QuotedName) return syntaxError();
  take();
  std::string n = lowerCase(name.text);
  t = TypeSpec{};
  t.length = defaultLength;
  if (n == "char" || n == "character" || n == "nchar") {
    t.type = ColumnType::Char;
  } else if (n == "varchar" || n == "nvarchar") {
    t.type = ColumnType::VarChar;
  } else if (n == "int" || n == "integer") {
    t.type = ColumnType::Int;
  } else if (n == "smallint") {
    t.type = ColumnType::SmallInt;
  } else if (n == "tinyint") {
    t.type = ColumnType::TinyInt;
  } else if (n == "bigint") {
    t.type = ColumnType::BigInt;
  } else if (n == "bit") {
    t.type = ColumnType::Bit;
  } else if (n == "datetime" || n == "smalldatetime" || n == "datetime2") {
    t.type = ColumnType::DateTime;
  } else if (n == "float" || n == "real") {
    t.type = ColumnType::Float;
  } else if (n == "decimal" || n == "numeric" || n == "dec" || n == "money" || n == "smallmoney") {
    t.type = ColumnType::Decimal;
    t.length = 18;
    if (n == "money" || n == "smallmoney") t.scale = 4;
  } else {
    if (ordinal > 0) {
      deferError(serverError(2715, {std::to_string(ordinal), name.text}), kBindError);
    } else {
      deferError(serverError(243, {name.text}), kBindError);
    }
  }
  if (acceptSymbol("(")) {
    if (acceptKeyword("MAX")) {
      t.length = -1;
    } else {
      if (peek().kind != TokenKind::Number) return syntaxError();
      t.length = atoi(take().text.c_str());
      if (acceptSymbol(",")) {
        if (peek().kind != TokenKind::Number) return syntaxError();
        t.scale = atoi(take().text.c_str());
      }
    }
    if (!expectSymbol(")")) return false;
  }
  return true;
}

bool Translator::convertCall(const Scope& scope, bool isCast, Expr& e) {
  if (!expectSymbol("(")) return false;
  TypeSpec target;
  Expr source;
  int style = 0;
  if (isCast) {
    if (!expression(scope, source)) return false;
    if (!expectKeyword("AS")) return false;
    if (!typeSpec(target, 30, 0)) return false;
  } else {
    if (!typeSpec(target, 30, 0)) return false;
    if (!expectSymbol(",")) return false;
    if (!expression(scope, source)) return false;
    if (acceptSymbol(",")) {
      Expr styleExpr;
      if (!expression(scope, styleExpr)) return false;
      if (!styleExpr.isConst || styleExpr.value.kind != ValueKind::Int) return syntaxError();
      style = static_cast<int>(styleExpr.value.i);
    }
  }
  if (!expectSymbol(")")) return false;
  bool fromDateTime = source.typeKnown && source.type.type == ColumnType::DateTime;
  if (source.isConst && source.sql.empty()) {
    Value v;
    ServerError err;
    if (!convertValue(source.value, target, style, fromDateTime, v, err)) {
      deferError(err, kRuntimeError);
      v = Value::null();
    }
    e = constantExpr(v);
  } else {
    e = Expr{};
    e.sql = "tsql_convert(" + emit(source) + ", " + std::to_string(static_cast<int>(target.type)) + ", " +
            std::to_string(target.length) + ", " + std::to_string(target.scale) + ", " + std::to_string(style) + ", " +
            (fromDateTime ? "1" : "0") + ")";
  }
  e.type = target;
  e.typeKnown = true;
  return true;
}

bool Translator::caseExpr(const Scope& scope, Expr& e) {
  take();
  std::string sql = "CASE";
  if (!atKeyword("WHEN")) {
    Expr operand;
    if (!expression(scope, operand)) return false;
    sql += " " + emit(operand);
  }
  Expr firstResult;
  bool haveResult = false;
  while (acceptKeyword("WHEN")) {
    Expr when, then;
    if (!expression(scope, when)) return false;
    if (!expectKeyword("THEN")) return false;
    if (!expression(scope, then)) return false;
    if (!haveResult) {
      firstResult = then;
      haveResult = true;
    }
    sql += " WHEN " + emit(when) + " THEN " + emit(then);
  }
  if (!haveResult) return syntaxError();
  if (acceptKeyword("ELSE")) {
    Expr other;
    if (!expression(scope, other)) return false;
    sql += " ELSE " + emit(other);
  }
  if (!expectKeyword("END")) return false;
  e = Expr{};
  e.sql = sql + " END";
  e.type = firstResult.type;
  e.typeKnown = firstResult.typeKnown;
  return true;
}

bool Translator::functionCall(const Scope& scope, const Token& name, Expr& e) {
  if (equalsNoCase(name.text, "GETDATE") || equalsNoCase(name.text, "SYSDATETIME")) {
    if (!expectSymbol(")")) return false;
    e = constantExpr(nowValue());
    e.isNow = true;
    e.type = TypeSpec{ColumnType::DateTime, 0, 0};
    e.typeKnown = true;
    if (inlineConstants_) {
      e.isConst = false;
      e.sql = "tsql_now()";
    }
    return true;
  }
  const FunctionMap* fn = nullptr;
  for (const FunctionMap& candidate : kFunctions) {
    if (equalsNoCase(candidate.tsql, name.text)) fn = &candidate;
  }
  if (!fn) {
    deferError(serverError(195, {name.text}), kBindError);
    fn = &kFunctions[0];
  }
  std::string sql = std::string(fn->sqlite) + "(";
  std::vector<Expr> args;
  if (equalsNoCase(name.text, "COUNT") && acceptSymbol("*")) {
    sql += "*";
  } else {
    if (acceptKeyword("DISTINCT")) sql += "DISTINCT ";
    do {
      Expr a;
      if (!expression(scope, a)) return false;
      args.push_back(std::move(a));
    } while (acceptSymbol(","));
    if (static_cast<int>(args.size()) < fn->minArgs || static_cast<int>(args.size()) > fn->maxArgs) {
      deferError(serverError(174, {name.text, std::to_string(fn->minArgs)}), kBindError);
    }
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) sql += ", ";
      sql += emit(args[i]);
    }
  }
  if (!expectSymbol(")")) return false;
  e = Expr{};
  e.sql = sql + ")";
  if (fn->result == 1) {
    e.type = TypeSpec{ColumnType::VarChar, args.empty() ? 0 : args[0].type.length, 0};
    e.typeKnown = true;
  } else if (fn->result == 2) {
    e.type = TypeSpec{ColumnType::Int, 0, 0};
    e.typeKnown = true;
  } else if (!args.empty()) {
    e.type = args[0].type;
    e.typeKnown = args[0].typeKnown;
  }
  return true;
}

}  // namespace testdb
