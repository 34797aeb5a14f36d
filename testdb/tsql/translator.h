#pragma once
// The recursive-descent translator behind translate(): one object per
// statement. Statements are in translate_statements.cpp, queries in
// translate_query.cpp, DDL in translate_ddl.cpp, expressions in translate_expr.cpp.

#include <string>
#include <vector>

#include "tsql/translate.h"

namespace testdb {

struct Expr {
  // SQLite text; empty for a constant that has not been emitted yet
  std::string sql;
  // a constant known at translation time (then `value` holds it)
  bool isConst = false;
  // the constant
  Value value;
  // SQL Server type, when known
  TypeSpec type;
  bool typeKnown = false;
  // set for a plain column reference
  const Column* column = nullptr;
  // CURRENT_TIMESTAMP or GETDATE() (a constant, but a DEFAULT keeps it a call)
  bool isNow = false;
};

struct ScopeTable {
  // the table; nullptr when its name was not found (208 is already recorded)
  const Table* table = nullptr;
  // the name columns are qualified with in T-SQL: the alias, else the table name
  std::string alias;
  // true when an alias was given (the table name then no longer qualifies)
  bool explicitAlias = false;
  // the table's SQLite alias (t0, t1...); empty in CREATE TABLE
  std::string sqlAlias;
};

struct Scope {
  // tables of this query level
  std::vector<ScopeTable> tables;
  // enclosing query level of a subquery
  const Scope* outer = nullptr;
};

/// Error priorities: SQL Server parses, then binds names, then runs.
constexpr int kBindError = 2;
constexpr int kMissingObject = 3;
constexpr int kRuntimeError = 1;

class Translator {
 public:
  Translator(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
             const TranslateContext& context, Translation& out);
  /// Translates the statement. Returns true, or false with the error. In a
  /// batch the statement may end before `end` (see translateInBatch).
  bool run(ServerError& error, bool inBatch = false);
  /// Where the statement's tokens ended.
  size_t position() const { return pos_; }

  // --- tokens
  const Token& peek(size_t ahead = 0) const;
  const Token& take();
  bool atKeyword(std::string_view kw, size_t ahead = 0) const;
  bool atSymbol(std::string_view s, size_t ahead = 0) const;
  bool acceptKeyword(std::string_view kw);
  bool acceptSymbol(std::string_view s);
  bool expectKeyword(std::string_view kw);
  bool expectSymbol(std::string_view s);
  bool atEnd() const { return pos_ >= end_; }
  /// Records 102 (or 156 for a keyword) at the current token. Returns false.
  bool syntaxError();
  /// Keeps the first error of the highest priority for after a clean parse.
  void deferError(ServerError e, int priority);
  /// True when t is a word SQL Server reserves (never a name or an alias).
  static bool isReserved(const Token& t);

  // --- names
  /// Reads a name: a non-reserved word or a quoted name. False on syntax error.
  bool readName(std::string& name);
  /// Reads a.b.c; `written` is the dotted name as SQL Server prints it.
  bool readMultipartName(std::vector<std::string>& parts, std::string& written);
  /// The table of a 1-3 part name; records 208 and returns nullptr when missing.
  const Table* resolveTable(const std::vector<std::string>& parts, const std::string& written);
  /// Reads the table name an INSERT, UPDATE, DELETE or TRUNCATE writes to and
  /// makes it the statement's target; table is nullptr (208 recorded) when it
  /// does not exist. False on syntax error.
  bool readTargetTable(std::vector<std::string>& parts, const Table*& table);
  /// Adds the written table to scope under alias with a fresh SQL alias.
  /// Returns the added entry.
  const ScopeTable& addTargetScope(Scope& scope, const Table* table, const std::string& alias);
  /// Appends an optional WHERE clause to the output. False on syntax error.
  bool appendWhere(const Scope& scope);
  /// The table name with schema as SQL Server shows it in messages: schema.table.
  static std::string qualifiedName(const Table& t) { return t.schema + "." + t.name; }

  // --- statements
  bool statement();
  bool selectStatement();
  bool query(const Scope* outer, std::string& sql, std::vector<ResultColumn>* columns,
             const std::vector<TypeSpec>* coerceTo);
  bool fromClause(Scope& scope, std::string& sql);
  bool tableRef(Scope& scope, std::string& sql);
  bool skipTableHints();
  bool insertStatement();
  bool updateStatement();
  bool deleteStatement();
  bool truncateStatement();
  bool createStatement();
  bool createSchema();
  bool createTable();
  bool createIndex(bool unique);
  /// Skips an index's WITH (...) options and ON filegroup. False on syntax error.
  bool skipIndexOptions();
  bool dropStatement();
  /// ALTER TABLE ... ADD CONSTRAINT CHECK / DEFAULT ... FOR, and CHECK CONSTRAINT.
  bool alterStatement();
  /// Reads a CHECK's (condition) into c (kind, the one column it names) and its SQLite text. False on syntax error.
  bool checkClause(const Scope& scope, Constraint& c, std::string& sql);
  /// Reads a DEFAULT's expression for column c into its SQLite clause text.
  bool defaultClause(const Column& c, std::string& sql);
  /// IF [NOT] EXISTS (SELECT * FROM sys.schemas WHERE name = '...') statement.
  bool ifStatement();
  /// EXEC ('text'): the text translated as the statement it holds.
  bool execStatement();
  bool transactionStatement();

  // --- expressions
  bool expression(const Scope& scope, Expr& e);
  bool andExpr(const Scope& scope, Expr& e);
  bool notExpr(const Scope& scope, Expr& e);
  bool predicate(const Scope& scope, Expr& e);
  bool additive(const Scope& scope, Expr& e);
  bool multiplicative(const Scope& scope, Expr& e);
  bool unary(const Scope& scope, Expr& e);
  bool primary(const Scope& scope, Expr& e);
  bool functionCall(const Scope& scope, const Token& name, Expr& e);
  bool convertCall(const Scope& scope, bool isCast, Expr& e);
  bool caseExpr(const Scope& scope, Expr& e);
  bool subquery(const Scope& scope, std::string& sql);
  bool columnRef(const Scope& scope, const std::vector<std::string>& parts, const std::string& written, Expr& e);
  /// Reads a data type; defaultLength applies to char types without a length.
  bool typeSpec(TypeSpec& t, int defaultLength, int ordinal);
  /// The SQLite text of e, turning a constant into a parameter (or a literal
  /// in DDL).
  std::string& emit(Expr& e);
  /// Converts a constant compared with a typed expression the way SQL Server
  /// converts it implicitly (text to datetime or integer).
  void alignConstant(const Expr& typed, Expr& constant);
  /// e converted for storing into column c of table t (verb INSERT/UPDATE):
  /// constants now, other values through tsql_coerce at run time.
  std::string coerceForColumn(Expr& e, const Column& c, const Table& t, const char* verb, InsertValue* record);

  const std::vector<Token>& tokens_;
  size_t pos_;
  size_t end_;
  const CatalogView& catalog_;
  const TranslateContext& context_;
  Translation& out_;
  // DDL: constants become SQLite literals instead of parameters
  bool inlineConstants_ = false;
  // numbering of SQLite table aliases
  int aliasCounter_ = 0;
  // when set, column names referenced by the expression being read (CHECK)
  std::vector<std::string>* referencedColumns_ = nullptr;
  // the syntax error, once found
  bool hasSyntaxError_ = false;
  ServerError syntax_;
  // the deferred error and its priority (0: none)
  ServerError deferred_;
  int deferredPriority_ = 0;
  // the End token for reads past the statement
  Token endToken_;
};

}  // namespace testdb
