#include <algorithm>

#include "tsql/translator.h"

namespace testdb {
namespace {

// Words SQL Server reserves that matter here: never column names or aliases.
constexpr std::string_view kReserved[] = {
    "ADD",
    "ALL",
    "ALTER",
    "AND",
    "ANY",
    "AS",
    "ASC",
    "AUTHORIZATION",
    "BEGIN",
    "BETWEEN",
    "BY",
    "CASE",
    "CHECK",
    "CLUSTERED",
    "COLLATE",
    "COMMIT",
    "CONSTRAINT",
    "CONVERT",
    "CREATE",
    "CROSS",
    "CURRENT_TIMESTAMP",
    "DEFAULT",
    "DELETE",
    "DESC",
    "DECLARE",
    "DENY",
    "DISTINCT",
    "DROP",
    "ELSE",
    "END",
    "ESCAPE",
    "EXEC",
    "EXECUTE",
    "EXISTS",
    "FOREIGN",
    "FROM",
    "FULL",
    "GRANT",
    "GROUP",
    "HAVING",
    "IDENTITY",
    "IF",
    "IN",
    "INDEX",
    "INNER",
    "INSERT",
    "INTO",
    "IS",
    "JOIN",
    "KEY",
    "LEFT",
    "LIKE",
    "NONCLUSTERED",
    "NOT",
    "NULL",
    "ON",
    "OR",
    "ORDER",
    "OUTER",
    "PRIMARY",
    "PRINT",
    "RAISERROR",
    "RETURN",
    "REVOKE",
    "SAVE",
    "MERGE",
    "WAITFOR",
    "WHILE",
    "REFERENCES",
    "RIGHT",
    "ROLLBACK",
    "SCHEMA",
    "SELECT",
    "SET",
    "TABLE",
    "THEN",
    "TOP",
    "TRAN",
    "TRANSACTION",
    "TRUNCATE",
    "UNION",
    "UNIQUE",
    "UPDATE",
    "USE",
    "VALUES",
    "WHEN",
    "WHERE",
    "WITH",
};

}  // namespace

std::string quoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

Translator::Translator(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
                       const TranslateContext& context, Translation& out)
    : tokens_(tokens), pos_(begin), end_(end), catalog_(catalog), context_(context), out_(out) {
  endToken_.kind = TokenKind::End;
}

const Token& Translator::peek(size_t ahead) const { return pos_ + ahead < end_ ? tokens_[pos_ + ahead] : endToken_; }

const Token& Translator::take() {
  const Token& t = peek();
  if (pos_ < end_) ++pos_;
  return t;
}

bool Translator::atKeyword(std::string_view kw, size_t ahead) const { return isKeyword(peek(ahead), kw); }

bool Translator::atSymbol(std::string_view s, size_t ahead) const {
  const Token& t = peek(ahead);
  return t.kind == TokenKind::Symbol && t.text == s;
}

bool Translator::acceptKeyword(std::string_view kw) {
  if (!atKeyword(kw)) return false;
  take();
  return true;
}

bool Translator::acceptSymbol(std::string_view s) {
  if (!atSymbol(s)) return false;
  take();
  return true;
}

bool Translator::expectKeyword(std::string_view kw) { return acceptKeyword(kw) || syntaxError(); }

bool Translator::expectSymbol(std::string_view s) { return acceptSymbol(s) || syntaxError(); }

bool Translator::isReserved(const Token& t) {
  if (t.kind != TokenKind::Word) return false;
  for (std::string_view kw : kReserved) {
    if (equalsNoCase(t.text, kw)) return true;
  }
  return false;
}

bool Translator::syntaxError() {
  if (hasSyntaxError_) return false;
  hasSyntaxError_ = true;
  // At the end of the statement SQL Server names the last token it read.
  const Token* t = &peek();
  if (t->kind == TokenKind::End && pos_ > 0) t = &tokens_[pos_ - 1];
  if (t->kind == TokenKind::End) {
    syntax_ = serverError(102, {""});
  } else if (isReserved(*t)) {
    syntax_ = serverError(156, {t->text});
  } else {
    syntax_ = serverError(102, {t->kind == TokenKind::String ? t->text : std::string(t->source)});
  }
  return false;
}

void Translator::deferError(ServerError e, int priority) {
  if (priority > deferredPriority_) {
    deferred_ = std::move(e);
    deferredPriority_ = priority;
  }
}

bool Translator::readName(std::string& name) {
  const Token& t = peek();
  if (t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !isReserved(t))) {
    name = take().text;
    return true;
  }
  return syntaxError();
}

bool Translator::readMultipartName(std::vector<std::string>& parts, std::string& written) {
  parts.clear();
  written.clear();
  do {
    std::string part;
    if (!readName(part)) return false;
    if (!written.empty()) written += '.';
    written += part;
    parts.push_back(std::move(part));
  } while (parts.size() < 4 && acceptSymbol("."));
  return true;
}

const Table* Translator::resolveTable(const std::vector<std::string>& parts, const std::string& written) {
  // database.schema.table: the database part names this one database.
  std::string_view schema = parts.size() >= 2 ? parts[parts.size() - 2] : std::string_view("dbo");
  const Table* t = catalog_.findTable(schema, parts.back());
  out_.readsTable = true;
  if (!t) deferError(serverError(208, {written}), kMissingObject);
  return t;
}

bool Translator::run(ServerError& error, bool inBatch) {
  bool ok = statement();
  if (ok && !atEnd() && !(inBatch && (atSymbol(";") || beginsStatement(peek())))) ok = syntaxError();
  if (hasSyntaxError_) {
    error = syntax_;
    return false;
  }
  if (!ok) {
    error = serverError(102, {std::string(peek().source)});
    return false;
  }
  if (deferredPriority_ > 0) {
    error = deferred_;
    return false;
  }
  return true;
}

bool Translator::statement() {
  const Token& first = peek();
  if (atKeyword("SELECT") || (atSymbol("(") && atKeyword("SELECT", 1))) return selectStatement();
  if (atKeyword("INSERT")) return insertStatement();
  if (atKeyword("UPDATE")) return updateStatement();
  if (atKeyword("DELETE")) return deleteStatement();
  if (atKeyword("TRUNCATE")) return truncateStatement();
  if (atKeyword("CREATE")) return createStatement();
  if (atKeyword("DROP")) return dropStatement();
  if (atKeyword("ALTER")) return alterStatement();
  if (atKeyword("IF")) return ifStatement();
  if (atKeyword("EXEC") || atKeyword("EXECUTE")) return execStatement();
  if (atKeyword("BEGIN") || atKeyword("COMMIT") || atKeyword("ROLLBACK")) return transactionStatement();
  if (isKeyword(first, "SET")) {
    // Session options (SET NOCOUNT ON ...) change nothing here.
    take();
    // The option may be a reserved word (SET TRANSACTION ISOLATION LEVEL ...).
    if (peek().kind != TokenKind::Word) return syntaxError();
    std::string option = take().text;
    if (equalsNoCase(option, "XACT_ABORT") || equalsNoCase(option, "IMPLICIT_TRANSACTIONS")) {
      if (!atKeyword("ON") && !atKeyword("OFF")) return syntaxError();
      (equalsNoCase(option, "XACT_ABORT") ? out_.xactAbort : out_.implicitTransactions) =
          isKeyword(take(), "ON") ? 1 : 0;
    }
    // Without separators the option's value ends where the next statement begins.
    while (!atEnd() && !atSymbol(";") && !beginsStatement(peek())) take();
    out_.kind = StatementKind::Empty;
    out_.sessionControl = true;
    return true;
  }
  if (isKeyword(first, "USE") || isKeyword(first, "PRINT")) {
    take();
    Expr ignored;
    Scope none;
    if (isKeyword(first, "USE")) {
      std::string db;
      if (!readName(db)) return false;
    } else if (!expression(none, ignored)) {
      return false;
    }
    out_.kind = StatementKind::Empty;
    return true;
  }
  return syntaxError();
}

bool Translator::ifStatement() {
  // Generated scripts guard CREATE SCHEMA this way, and clients end what an
  // error or a cancel left open with IF @@TRANCOUNT > 0 ROLLBACK; other
  // conditions need an engine that runs T-SQL's control flow, and are refused
  // at their first word.
  take();
  if (peek().kind == TokenKind::Variable && equalsNoCase(peek().text, "@@TRANCOUNT")) {
    take();
    // Other comparisons need T-SQL's control flow: refused at their number.
    if (!expectSymbol(">") || peek().kind != TokenKind::Number || peek().text != "0") return syntaxError();
    take();
    if (!atKeyword("BEGIN") && !atKeyword("COMMIT") && !atKeyword("ROLLBACK")) return syntaxError();
    if (!transactionStatement()) return false;
    out_.onlyInTransaction = true;
    return true;
  }
  bool negated = acceptKeyword("NOT");
  if (!expectKeyword("EXISTS") || !expectSymbol("(") || !expectKeyword("SELECT") || !expectSymbol("*") ||
      !expectKeyword("FROM")) {
    return false;
  }
  std::string sys;
  std::string view;
  if (!readName(sys) || !equalsNoCase(sys, "sys") || !expectSymbol(".") || !readName(view) ||
      !equalsNoCase(view, "schemas")) {
    return syntaxError();
  }
  std::string column;
  if (!expectKeyword("WHERE") || !readName(column) || !equalsNoCase(column, "name") || !expectSymbol("=")) {
    return syntaxError();
  }
  if (peek().kind != TokenKind::String) return syntaxError();
  const bool exists = catalog_.findSchema(take().text) != nullptr;
  if (!expectSymbol(")")) return false;
  if (atEnd() || atSymbol(";")) return syntaxError();
  ServerError deferred = deferred_;
  int deferredPriority = deferredPriority_;
  if (!statement()) return false;
  if (exists == negated) {
    // The guarded statement is read for its syntax only: what it would have
    // found wrong does not happen.
    out_ = Translation{};
    deferred_ = deferred;
    deferredPriority_ = deferredPriority;
  }
  return true;
}

bool Translator::execStatement() {
  take();
  out_.kind = StatementKind::Empty;
  std::string text;
  if (acceptSymbol("(")) {
    if (peek().kind != TokenKind::String) return syntaxError();
    text = take().text;
    if (!expectSymbol(")")) return false;
  } else {
    std::vector<std::string> parts;
    std::string written;
    if (!readMultipartName(parts, written)) return false;
    if (!equalsNoCase(parts.back(), "sp_executesql")) {
      deferError(serverError(2812, {written}), kMissingObject);
      return true;
    }
    if (peek().kind != TokenKind::String) return syntaxError();
    text = take().text;
  }
  // The text is a batch of its own, compiled when the EXEC runs: its errors
  // are this statement's, never a syntax error of the batch around it.
  out_.compiledWhenRun = true;
  std::vector<Token> inner;
  ServerError error;
  if (!tokenize(text, inner, error)) {
    deferError(error, kRuntimeError);
    return true;
  }
  Translation translated;
  Translator nested(inner, 0, inner.size() - 1, catalog_, context_, translated);
  if (!nested.run(error)) {
    deferError(error, kRuntimeError);
    return true;
  }
  translated.compiledWhenRun = true;
  out_ = std::move(translated);
  return true;
}

bool Translator::selectStatement() {
  out_.kind = StatementKind::Select;
  bool parenthesized = acceptSymbol("(");
  if (!query(nullptr, out_.sql, &out_.columns, nullptr)) return false;
  return !parenthesized || expectSymbol(")");
}

std::string Translator::coerceForColumn(Expr& e, const Column& c, const Table& t, const char* verb,
                                        InsertValue* record) {
  TypeSpec columnType{c.type, c.length, c.scale};
  if (e.isConst) {
    Value v;
    ServerError err;
    if (!coerceToColumn(e.value, columnType, v, err)) {
      deferError(err, kRuntimeError);
      v = Value::null();
    } else if (v.kind == ValueKind::Null && c.notNull) {
      deferError(serverError(515, {c.name, context_.databaseName + "." + qualifiedName(t), verb}), kRuntimeError);
    }
    Expr constant;
    constant.isConst = true;
    constant.value = v;
    if (record) *record = InsertValue{true, v, {}};
    return emit(constant);
  }
  std::string sql = "tsql_coerce(" + emit(e) + ", " + std::to_string(static_cast<int>(c.type)) + ", " +
                    std::to_string(c.length) + ", " + std::to_string(c.scale) + ")";
  if (record) *record = InsertValue{false, {}, sql};
  return sql;
}

bool Translator::readTargetTable(std::vector<std::string>& parts, const Table*& table) {
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  table = resolveTable(parts, written);
  if (table) out_.target = table->sqliteName;
  return true;
}

const ScopeTable& Translator::addTargetScope(Scope& scope, const Table* table, const std::string& alias) {
  ScopeTable st;
  st.table = table;
  st.alias = alias;
  st.sqlAlias = "t" + std::to_string(aliasCounter_++);
  scope.tables.push_back(st);
  return scope.tables.back();
}

bool Translator::appendWhere(const Scope& scope) {
  if (acceptKeyword("WHERE")) {
    Expr where;
    if (!expression(scope, where)) return false;
    out_.sql += " WHERE " + emit(where);
  }
  return true;
}

bool Translator::insertStatement() {
  take();
  out_.kind = StatementKind::Insert;
  acceptKeyword("INTO");
  std::vector<std::string> parts;
  const Table* table = nullptr;
  if (!readTargetTable(parts, table)) return false;

  std::vector<const Column*> targets;
  bool listed = atSymbol("(") && !atKeyword("SELECT", 1);
  if (listed) {
    take();
    do {
      std::string name;
      if (!readName(name)) return false;
      const Column* c = table ? table->find(name) : nullptr;
      if (table && !c) deferError(serverError(207, {name}), kBindError);
      targets.push_back(c);
    } while (acceptSymbol(","));
    if (!expectSymbol(")")) return false;
  } else if (table) {
    for (const Column& c : table->columns) targets.push_back(&c);
  }
  bool resolved = table && std::find(targets.begin(), targets.end(), nullptr) == targets.end();

  std::string columnList;
  for (const Column* c : targets) {
    if (!columnList.empty()) columnList += ", ";
    if (c) columnList += quoteIdent(c->name);
    if (c) out_.insertColumns.push_back(c->name);
  }
  out_.sql = "INSERT INTO " + quoteIdent(table ? table->sqliteName : "missing") + " (" + columnList + ")";

  Scope none;
  if (acceptKeyword("VALUES")) {
    out_.sql += " VALUES ";
    bool firstRow = true;
    do {
      if (!expectSymbol("(")) return false;
      std::vector<Expr> values;
      do {
        Expr e;
        if (!expression(none, e)) return false;
        values.push_back(std::move(e));
      } while (acceptSymbol(","));
      if (!expectSymbol(")")) return false;
      if (values.size() != targets.size() && table) {
        deferError(serverError(values.size() < targets.size() ? 109 : 110), kBindError);
      }
      if (!firstRow) out_.sql += ", ";
      firstRow = false;
      out_.sql += "(";
      std::vector<InsertValue> row(values.size());
      for (size_t i = 0; i < values.size(); ++i) {
        if (i) out_.sql += ", ";
        if (resolved && i < targets.size()) {
          out_.sql += coerceForColumn(values[i], *targets[i], *table, "INSERT", &row[i]);
        } else {
          out_.sql += emit(values[i]);
        }
      }
      out_.sql += ")";
      out_.insertRows.push_back(std::move(row));
    } while (acceptSymbol(","));
    return true;
  }
  if (atKeyword("DEFAULT")) {
    take();
    if (!expectKeyword("VALUES")) return false;
    out_.sql = "INSERT INTO " + quoteIdent(table ? table->sqliteName : "missing") + " DEFAULT VALUES";
    return true;
  }
  if (atKeyword("SELECT") || (atSymbol("(") && atKeyword("SELECT", 1))) {
    std::vector<TypeSpec> targetTypes;
    for (const Column* c : targets) targetTypes.push_back(c ? TypeSpec{c->type, c->length, c->scale} : TypeSpec{});
    bool parenthesized = acceptSymbol("(");
    std::string select;
    if (!query(nullptr, select, nullptr, resolved ? &targetTypes : nullptr)) return false;
    if (parenthesized && !expectSymbol(")")) return false;
    out_.sql += " " + select;
    return true;
  }
  return syntaxError();
}

bool Translator::updateStatement() {
  take();
  out_.kind = StatementKind::Update;
  std::vector<std::string> parts;
  const Table* table = nullptr;
  if (!readTargetTable(parts, table)) return false;
  Scope scope;
  const ScopeTable& st = addTargetScope(scope, table, parts.back());
  if (!skipTableHints()) return false;
  if (!expectKeyword("SET")) return false;
  std::string sets;
  do {
    std::vector<std::string> colParts;
    std::string colWritten;
    if (!readMultipartName(colParts, colWritten)) return false;
    if (!expectSymbol("=")) return false;
    Expr value;
    if (!expression(scope, value)) return false;
    const Column* c = table ? table->find(colParts.back()) : nullptr;
    if (table && !c) deferError(serverError(207, {colParts.back()}), kBindError);
    if (!sets.empty()) sets += ", ";
    sets +=
        quoteIdent(colParts.back()) + " = " + (c ? coerceForColumn(value, *c, *table, "UPDATE", nullptr) : emit(value));
  } while (acceptSymbol(","));
  out_.sql = "UPDATE " + quoteIdent(table ? table->sqliteName : "missing") + " AS " + st.sqlAlias + " SET " + sets;
  return appendWhere(scope);
}

bool Translator::deleteStatement() {
  take();
  out_.kind = StatementKind::Delete;
  acceptKeyword("FROM");
  std::vector<std::string> parts;
  const Table* table = nullptr;
  if (!readTargetTable(parts, table)) return false;
  Scope scope;
  const ScopeTable& st = addTargetScope(scope, table, parts.back());
  out_.sql = "DELETE FROM " + quoteIdent(table ? table->sqliteName : "missing") + " AS " + st.sqlAlias;
  return appendWhere(scope);
}

bool Translator::truncateStatement() {
  take();
  if (!expectKeyword("TABLE")) return false;
  out_.kind = StatementKind::Delete;
  std::vector<std::string> parts;
  const Table* table = nullptr;
  if (!readTargetTable(parts, table)) return false;
  out_.sql = "DELETE FROM " + quoteIdent(table ? table->sqliteName : "missing");
  return true;
}

bool Translator::transactionStatement() {
  const Token& verb = take();
  out_.kind = StatementKind::Transaction;
  out_.sessionControl = true;
  if (isKeyword(verb, "BEGIN")) {
    if (!acceptKeyword("TRAN") && !acceptKeyword("TRANSACTION")) return syntaxError();
    out_.sql = "BEGIN";
  } else {
    if (!acceptKeyword("TRAN") && !acceptKeyword("TRANSACTION")) acceptKeyword("WORK");
    out_.sql = isKeyword(verb, "COMMIT") ? "COMMIT" : "ROLLBACK";
  }
  // An optional transaction name changes nothing.
  if (peek().kind == TokenKind::Word && !isReserved(peek())) take();
  return true;
}

bool Translator::skipTableHints() {
  if (!atKeyword("WITH") || !atSymbol("(", 1)) return true;
  take();
  take();
  while (!atSymbol(")")) {
    if (atEnd()) return syntaxError();
    take();
  }
  take();
  return true;
}

bool translate(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
               const TranslateContext& context, Translation& out, ServerError& error) {
  out = Translation{};
  Translator t(tokens, begin, end, catalog, context, out);
  return t.run(error);
}

bool translateInBatch(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
                      const TranslateContext& context, Translation& out, ServerError& error, size_t& stop) {
  out = Translation{};
  Translator t(tokens, begin, end, catalog, context, out);
  bool ok = t.run(error, true);
  stop = t.position();
  return ok;
}

bool beginsStatement(const Token& t) {
  // GO is not among them: it is a command of the client tools, and a server
  // that receives it reads a name where none may stand.
  static constexpr std::string_view kStatementWords[] = {
      "SELECT",   "INSERT", "UPDATE", "DELETE", "TRUNCATE", "CREATE",    "DROP",  "ALTER",   "BEGIN",   "COMMIT",
      "ROLLBACK", "SAVE",   "SET",    "USE",    "PRINT",    "IF",        "EXEC",  "EXECUTE", "DECLARE", "WHILE",
      "RETURN",   "MERGE",  "GRANT",  "REVOKE", "DENY",     "RAISERROR", "THROW", "WAITFOR"};
  if (t.kind != TokenKind::Word) return false;
  for (std::string_view kw : kStatementWords) {
    if (equalsNoCase(t.text, kw)) return true;
  }
  return false;
}

}  // namespace testdb
