#pragma once
// Translates one T-SQL statement of the subset the program and its scripts use
// into one SQLite statement (or, for DDL, a script), with every constant moved
// into a numbered parameter so that statements differing only in their
// literals share one prepared SQLite statement.

#include <string>
#include <vector>

#include "sqlserver/coerce.h"
#include "sqlserver/server_error.h"
#include "sqlserver/sql_value.h"
#include "tsql/catalog_view.h"
#include "tsql/tsql_lexer.h"

namespace testdb {

enum class StatementKind { Empty, Select, Insert, Update, Delete, Ddl, Transaction, AlterTable };

struct ResultColumn {
  // column label (the column name or alias; empty for an unnamed expression)
  std::string label;
  // SQL Server type of the column
  TypeSpec type;
  // false for expressions whose type the translator does not know
  bool typeKnown = false;
  // false only for NOT NULL table columns
  bool nullable = true;
};

struct InsertValue {
  // true when the value was a constant (then `value` holds it, coerced)
  bool isConst = false;
  // the constant
  Value value;
  // SQLite expression of a non-constant value
  std::string sql;
};

struct Translation {
  // what the statement does
  StatementKind kind = StatementKind::Empty;
  // the SQLite statement (DML, SELECT, transaction control), ?N parameters
  std::string sql;
  // values of ?1, ?2, ...
  std::vector<Value> params;
  // DDL: SQLite statements to run as one transaction
  std::string script;
  // SELECT: the result columns
  std::vector<ResultColumn> columns;
  // DML: SQLite name of the target table
  std::string target;
  // INSERT: target columns (declared names) and the rows of VALUES, to name
  // the duplicate key of a rejected row
  std::vector<std::string> insertColumns;
  std::vector<std::vector<InsertValue>> insertRows;
  // SET XACT_ABORT: 1 ON, 0 OFF, -1 not this statement
  int xactAbort = -1;
  // SET IMPLICIT_TRANSACTIONS: 1 ON, 0 OFF, -1 not this statement
  int implicitTransactions = -1;
  // it only sets session options or begins or ends a transaction: the fault
  // keys that number statements pass over it, so a client that adds such
  // statements keeps the numbers of its others
  bool sessionControl = false;
  // IF @@TRANCOUNT > 0 ...: the transaction statement runs only inside a transaction
  bool onlyInTransaction = false;
  // it names a table (a SELECT FROM one opens an implicit transaction)
  bool readsTable = false;
  // ALTER TABLE ... ADD: SQLite cannot add a constraint or a default to a
  // table, so the engine edits the table's definition (target) in place.
  // A CHECK's text goes after the last element; a default after the column's
  // definition that begins with alterColumn.
  std::string alterAdd;
  std::string alterColumn;
  // WITH CHECK: a query that finds a row breaking the new CHECK, and the error
  // for it
  std::string alterCheckSql;
  ServerError alterConflict;
  // EXEC of a text: its syntax errors arise when it runs, not with the batch's
  bool compiledWhenRun = false;
  // it read the session's state (@@TRANCOUNT), which earlier statements of
  // its batch may change before it runs
  bool readsSessionState = false;
};

struct TranslateContext {
  // the database name used in messages (547)
  std::string databaseName;
  // what @@TRANCOUNT reads when the statement runs
  int tranCount = 0;
};

/// Translates tokens [begin, end) (one statement, no separator). Returns true,
/// or false with the error SQL Server would give (syntax first, then unknown
/// objects, then conversions of constants).
bool translate(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
               const TranslateContext& context, Translation& out, ServerError& error);

/// Translates the statement that begins at tokens[begin] within a batch that
/// ends at `end`: like translate(), except that the statement also ends where
/// a ';' or the keyword of another statement follows it, as T-SQL needs no
/// separator. Returns true, or false with the error; `stop` is where the
/// statement's tokens end unless a syntax error came first.
bool translateInBatch(const std::vector<Token>& tokens, size_t begin, size_t end, const CatalogView& catalog,
                      const TranslateContext& context, Translation& out, ServerError& error, size_t& stop);

/// True when t is a keyword that begins a statement.
bool beginsStatement(const Token& t);

/// "name" as an SQLite identifier.
std::string quoteIdent(std::string_view name);

}  // namespace testdb
