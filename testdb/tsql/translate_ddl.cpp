// CREATE SCHEMA / TABLE / INDEX and DROP TABLE: a SQLite script that creates
// the objects and records what SQLite cannot keep (schemas, declared types,
// constraint names) in the catalog tables, run as one transaction.

#include <cstdint>
#include <cstdio>

#include "tsql/translator.h"

namespace testdb {
namespace {

// SQL Server names unnamed constraints like PK__KVS321BC__3213E83F0A9D95DB.
std::string generatedName(const char* prefix, const std::string& table, const std::string& column) {
  uint64_t hash = 1469598103934665603ULL;
  for (char c : std::string(prefix) + table + column) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  char buf[96];
  if (column.empty()) {
    snprintf(buf, sizeof buf, "%s__%.8s__%016llX", prefix, table.c_str(), static_cast<unsigned long long>(hash));
  } else {
    snprintf(buf, sizeof buf, "%s__%.8s__%.8s__%016llX", prefix, table.c_str(), column.c_str(),
             static_cast<unsigned long long>(hash));
  }
  return buf;
}

const char* sqliteType(ColumnType t) {
  if (isText(t)) return "TEXT COLLATE TSQL";
  if (isInteger(t)) return "INTEGER";
  if (t == ColumnType::DateTime) return "TEXT";
  return "REAL";
}

std::string columnList(const std::vector<std::string>& names, const std::vector<bool>* descending = nullptr) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += ", ";
    out += quoteIdent(names[i]);
    if (descending && (*descending)[i]) out += " DESC";
  }
  return out;
}

// The one table a CHECK or DEFAULT of DDL sees, its columns unqualified.
Scope scopeOf(const Table& table) {
  Scope scope;
  ScopeTable self;
  self.table = &table;
  self.alias = table.name;
  scope.tables.push_back(self);
  return scope;
}

}  // namespace

bool Translator::createStatement() {
  take();
  out_.kind = StatementKind::Ddl;
  if (atKeyword("SCHEMA")) return createSchema();
  if (atKeyword("TABLE")) return createTable();
  bool unique = acceptKeyword("UNIQUE");
  if (!acceptKeyword("CLUSTERED")) acceptKeyword("NONCLUSTERED");
  if (atKeyword("INDEX")) return createIndex(unique);
  return syntaxError();
}

bool Translator::createSchema() {
  take();
  std::string name;
  if (!readName(name)) return false;
  if (acceptKeyword("AUTHORIZATION")) {
    std::string owner;
    if (!readName(owner)) return false;
  }
  if (catalog_.findSchema(name)) deferError(serverError(2714, {name}), kBindError);
  out_.script = catalog_.recordSchema(name);
  return true;
}

bool Translator::createTable() {
  take();
  std::vector<std::string> parts;
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  std::string schemaWritten = parts.size() >= 2 ? parts[parts.size() - 2] : "dbo";
  const std::string* schema = catalog_.findSchema(schemaWritten);
  if (!schema) deferError(serverError(2760, {schemaWritten}), kBindError);
  Table table;
  table.schema = schema ? *schema : schemaWritten;
  table.name = parts.back();
  table.sqliteName = sqliteTableName(table.schema, table.name);
  if (catalog_.findBySqliteName(table.sqliteName)) deferError(serverError(2714, {table.name}), kBindError);

  Scope scope = scopeOf(table);
  inlineConstants_ = true;

  std::vector<std::string> columnSql;
  std::vector<std::string> constraintSql;
  if (!expectSymbol("(")) return false;

  // Reads CHECK (expr) into a named constraint; the one column it names, if only one.
  auto readCheck = [&](const std::string& name, const std::string& column) -> bool {
    Constraint c;
    std::string expr;
    if (!checkClause(scope, c, expr)) return false;
    c.name = name.empty() ? generatedName("CK", table.name, column) : name;
    constraintSql.push_back("CONSTRAINT " + quoteIdent(c.name) + " CHECK (" + expr + ")");
    table.constraints.push_back(std::move(c));
    return true;
  };
  // Reads (col [ASC|DESC], ...) of a key.
  auto readKeyColumns = [&](std::vector<std::string>& names) -> bool {
    if (!expectSymbol("(")) return false;
    do {
      std::string n;
      if (!readName(n)) return false;
      const Column* c = table.find(n);
      if (!c) deferError(serverError(1911, {n}), kBindError);
      names.push_back(c ? c->name : n);
      if (!acceptKeyword("ASC")) acceptKeyword("DESC");
    } while (acceptSymbol(","));
    return expectSymbol(")");
  };
  auto addKey = [&](ConstraintKind kind, const std::string& name, std::vector<std::string> cols) {
    Constraint c;
    c.kind = kind;
    c.name = !name.empty() ? name : generatedName(kind == ConstraintKind::PrimaryKey ? "PK" : "UQ", table.name, "");
    c.columns = std::move(cols);
    if (kind == ConstraintKind::PrimaryKey) {
      for (Column& col : table.columns) {
        for (const std::string& k : c.columns) {
          if (equalsNoCase(col.name, k)) col.notNull = true;
        }
      }
    }
    constraintSql.push_back("CONSTRAINT " + quoteIdent(c.name) +
                            (kind == ConstraintKind::PrimaryKey ? " PRIMARY KEY (" : " UNIQUE (") +
                            columnList(c.columns) + ")");
    table.constraints.push_back(std::move(c));
  };
  auto readReferences = [&](const std::string& name, std::vector<std::string> cols) -> bool {
    std::vector<std::string> refParts;
    std::string refWritten;
    if (!readMultipartName(refParts, refWritten)) return false;
    const Table* ref = resolveTable(refParts, refWritten);
    Constraint c;
    c.kind = ConstraintKind::ForeignKey;
    c.name = name.empty() ? generatedName("FK", table.name, "") : name;
    c.columns = std::move(cols);
    if (acceptSymbol("(")) {
      do {
        std::string n;
        if (!readName(n)) return false;
        c.refColumns.push_back(n);
      } while (acceptSymbol(","));
      if (!expectSymbol(")")) return false;
    } else if (ref) {
      for (const Constraint& k : ref->constraints) {
        if (k.kind == ConstraintKind::PrimaryKey) c.refColumns = k.columns;
      }
    }
    c.refTable = ref ? ref->sqliteName : "";
    constraintSql.push_back("CONSTRAINT " + quoteIdent(c.name) + " FOREIGN KEY (" + columnList(c.columns) +
                            ") REFERENCES " + quoteIdent(c.refTable) + " (" + columnList(c.refColumns) + ")");
    table.constraints.push_back(std::move(c));
    return true;
  };

  do {
    std::string constraintName;
    if (acceptKeyword("CONSTRAINT")) {
      if (!readName(constraintName)) return false;
    }
    if (atKeyword("PRIMARY") || atKeyword("UNIQUE")) {
      bool primary = atKeyword("PRIMARY");
      take();
      if (primary && !expectKeyword("KEY")) return false;
      if (!acceptKeyword("CLUSTERED")) acceptKeyword("NONCLUSTERED");
      std::vector<std::string> cols;
      if (!readKeyColumns(cols) || !skipIndexOptions()) return false;
      addKey(primary ? ConstraintKind::PrimaryKey : ConstraintKind::Unique, constraintName, cols);
      continue;
    }
    if (acceptKeyword("CHECK")) {
      if (!readCheck(constraintName, "")) return false;
      continue;
    }
    if (acceptKeyword("FOREIGN")) {
      if (!expectKeyword("KEY")) return false;
      std::vector<std::string> cols;
      if (!readKeyColumns(cols)) return false;
      if (!expectKeyword("REFERENCES")) return false;
      if (!readReferences(constraintName, cols)) return false;
      continue;
    }
    if (!constraintName.empty()) return syntaxError();

    // A column definition.
    Column col;
    if (!readName(col.name)) return false;
    if (table.find(col.name)) deferError(serverError(2705, {col.name, table.name}), kBindError);
    TypeSpec declared;
    if (!typeSpec(declared, 1, static_cast<int>(table.columns.size()) + 1)) return false;
    col.type = declared.type;
    col.length = declared.length;
    col.scale = declared.scale;
    if (acceptKeyword("COLLATE")) {
      std::string collation;
      if (!readName(collation)) return false;
    }
    table.columns.push_back(col);
    std::string defaultSql;
    while (true) {
      Column& current = table.columns.back();
      if (atKeyword("NOT") && atKeyword("NULL", 1)) {
        take();
        take();
        current.notNull = true;
        continue;
      }
      if (acceptKeyword("NULL")) continue;
      std::string name;
      if (acceptKeyword("CONSTRAINT")) {
        if (!readName(name)) return false;
      }
      if (atKeyword("PRIMARY") || atKeyword("UNIQUE")) {
        bool primary = atKeyword("PRIMARY");
        take();
        if (primary && !expectKeyword("KEY")) return false;
        if (!acceptKeyword("CLUSTERED")) acceptKeyword("NONCLUSTERED");
        addKey(primary ? ConstraintKind::PrimaryKey : ConstraintKind::Unique, name, {current.name});
        continue;
      }
      if (acceptKeyword("CHECK")) {
        if (!readCheck(name, current.name)) return false;
        continue;
      }
      if (acceptKeyword("REFERENCES")) {
        if (!readReferences(name, {current.name})) return false;
        continue;
      }
      if (acceptKeyword("DEFAULT")) {
        const Column copy = table.columns.back();
        if (!defaultClause(copy, defaultSql)) return false;
        continue;
      }
      if (!name.empty()) return syntaxError();
      break;
    }
    const Column& done = table.columns.back();
    columnSql.push_back(quoteIdent(done.name) + " " + sqliteType(done.type) + defaultSql);
  } while (acceptSymbol(","));
  if (!expectSymbol(")")) return false;
  // Filegroup and storage options change nothing here.
  if (acceptKeyword("ON")) {
    std::string filegroup;
    if (!readName(filegroup)) return false;
  }
  if (atKeyword("TEXTIMAGE_ON")) {
    take();
    std::string filegroup;
    if (!readName(filegroup)) return false;
  }

  // NOT NULL goes after the type, now that key columns are known.
  std::string sql = "CREATE TABLE " + quoteIdent(table.sqliteName) + " (";
  for (size_t i = 0; i < columnSql.size(); ++i) {
    if (i) sql += ", ";
    sql += columnSql[i];
    if (table.columns[i].notNull) sql += " NOT NULL";
  }
  for (const std::string& c : constraintSql) sql += ", " + c;
  sql += ");";
  out_.script = sql + catalog_.recordTable(table);
  return true;
}

bool Translator::checkClause(const Scope& scope, Constraint& c, std::string& sql) {
  if (!expectSymbol("(")) return false;
  std::vector<std::string> used;
  referencedColumns_ = &used;
  Expr check;
  bool ok = expression(scope, check);
  referencedColumns_ = nullptr;
  if (!ok || !expectSymbol(")")) return false;
  c.kind = ConstraintKind::Check;
  // SQL Server names the column of a CHECK on one column in its 547.
  bool single = !used.empty();
  for (const std::string& u : used) single = single && equalsNoCase(u, used.front());
  if (single) c.columns.push_back(used.front());
  sql = emit(check);
  return true;
}

bool Translator::defaultClause(const Column& c, std::string& sql) {
  Scope none;
  Expr d;
  if (!expression(none, d)) return false;
  if (d.isConst) {
    Value v;
    ServerError err;
    if (!coerceToColumn(d.value, TypeSpec{c.type, c.length, c.scale}, v, err)) deferError(err, kBindError);
    sql = " DEFAULT (" + sqliteLiteral(v) + ")";
  } else {
    sql = " DEFAULT (" + emit(d) + ")";
  }
  return true;
}

bool Translator::alterStatement() {
  take();
  out_.kind = StatementKind::AlterTable;
  if (!expectKeyword("TABLE")) return false;
  std::vector<std::string> parts;
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  const Table* table = resolveTable(parts, written);
  if (table) out_.target = table->sqliteName;
  // WITH NOCHECK leaves the rows already stored unchecked, as SQL Server does.
  bool checkExisting = true;
  if (acceptKeyword("WITH")) {
    if (acceptKeyword("NOCHECK")) {
      checkExisting = false;
    } else if (!expectKeyword("CHECK")) {
      return false;
    }
  }
  if (acceptKeyword("CHECK")) {
    // Constraints here are never disabled, so enabling one only needs it to exist.
    if (!expectKeyword("CONSTRAINT")) return false;
    if (acceptKeyword("ALL")) {
      out_.kind = StatementKind::Empty;
      return true;
    }
    do {
      std::string name;
      if (!readName(name)) return false;
      bool found = false;
      for (const Constraint& k : table ? table->constraints : std::vector<Constraint>{}) {
        found = found || ((k.kind == ConstraintKind::Check || k.kind == ConstraintKind::ForeignKey) &&
                          equalsNoCase(k.name, name));
      }
      if (table && !found) deferError(serverError(4917, {name}), kBindError);
    } while (acceptSymbol(","));
    out_.kind = StatementKind::Empty;
    return true;
  }
  // Other forms (ADD column, DROP, ALTER COLUMN, NOCHECK CONSTRAINT) are refused
  // at their first word rather than pretended.
  if (!expectKeyword("ADD")) return false;
  if (!expectKeyword("CONSTRAINT")) return false;
  std::string name;
  if (!readName(name)) return false;
  Table empty;
  const Table& t = table ? *table : empty;
  for (const Constraint& k : t.constraints) {
    if (equalsNoCase(k.name, name)) deferError(serverError(2714, {name}), kBindError);
  }
  Scope scope = scopeOf(t);
  inlineConstants_ = true;
  if (acceptKeyword("DEFAULT")) {
    std::string sql;
    Column none;
    const Column* col = nullptr;
    size_t exprBegin = pos_;
    // The column follows the expression: read past it first, then coerce to the column's type.
    {
      Scope noScope;
      Expr skipped;
      if (!expression(noScope, skipped)) return false;
    }
    if (!expectKeyword("FOR")) return false;
    std::string column;
    if (!readName(column)) return false;
    col = t.find(column);
    if (table && !col) deferError(serverError(1911, {column}), kBindError);
    size_t after = pos_;
    pos_ = exprBegin;
    if (!defaultClause(col ? *col : none, sql)) return false;
    pos_ = after;
    if (!col) return true;
    out_.alterColumn = quoteIdent(col->name) + " " + sqliteType(col->type);
    out_.alterAdd = sql;
    return true;
  }
  if (!expectKeyword("CHECK")) return false;
  Constraint c;
  std::string expr;
  if (!checkClause(scope, c, expr)) return false;
  if (!table) return true;
  c.name = name;
  out_.alterAdd = ", CONSTRAINT " + quoteIdent(c.name) + " CHECK (" + expr + ")";
  if (checkExisting) {
    // A CHECK fails only where its condition is false, not where it is unknown.
    out_.alterCheckSql = "SELECT 1 FROM " + quoteIdent(t.sqliteName) + " WHERE NOT (" + expr + ") LIMIT 1";
    out_.alterConflict = serverError(547, {"ALTER TABLE", "CHECK", c.name, context_.databaseName, qualifiedName(t),
                                           c.columns.empty() ? "" : ", column '" + c.columns.front() + "'"});
  }
  out_.script = catalog_.recordConstraint(t, c);
  return true;
}

bool Translator::skipIndexOptions() {
  // Storage options (PAD_INDEX, FILLFACTOR, ... and the filegroup) mean nothing to one SQLite file.
  if (acceptKeyword("WITH")) {
    if (!expectSymbol("(")) return false;
    while (!acceptSymbol(")")) {
      if (atEnd()) return syntaxError();
      take();
    }
  }
  if (acceptKeyword("ON")) {
    std::string filegroup;
    if (!readName(filegroup)) return false;
  }
  return true;
}

bool Translator::createIndex(bool unique) {
  take();
  std::string name;
  if (!readName(name)) return false;
  if (!expectKeyword("ON")) return false;
  std::vector<std::string> parts;
  std::string written;
  if (!readMultipartName(parts, written)) return false;
  const Table* table = resolveTable(parts, written);
  if (!expectSymbol("(")) return false;
  Constraint c;
  c.name = name;
  c.kind = unique ? ConstraintKind::UniqueIndex : ConstraintKind::Index;
  std::vector<bool> descending;
  do {
    std::string col;
    if (!readName(col)) return false;
    const Column* found = table ? table->find(col) : nullptr;
    if (table && !found) deferError(serverError(1911, {col}), kBindError);
    c.columns.push_back(found ? found->name : col);
    bool desc = acceptKeyword("DESC");
    if (!desc) acceptKeyword("ASC");
    descending.push_back(desc);
  } while (acceptSymbol(","));
  if (!expectSymbol(")")) return false;
  if (!skipIndexOptions()) return false;
  if (!table) return true;
  for (const Constraint& existing : table->constraints) {
    if (equalsNoCase(existing.name, name)) deferError(serverError(1913, {name, table->name}), kBindError);
  }
  out_.script = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                quoteIdent(table->sqliteName + "__" + lowerCase(name)) + " ON " + quoteIdent(table->sqliteName) + " (" +
                columnList(c.columns, &descending) + ");" + catalog_.recordConstraint(*table, c);
  return true;
}

bool Translator::dropStatement() {
  take();
  out_.kind = StatementKind::Ddl;
  if (!expectKeyword("TABLE")) return false;
  bool ifExists = false;
  if (atKeyword("IF") && atKeyword("EXISTS", 1)) {
    take();
    take();
    ifExists = true;
  }
  do {
    std::vector<std::string> parts;
    std::string written;
    if (!readMultipartName(parts, written)) return false;
    std::string_view schema = parts.size() >= 2 ? parts[parts.size() - 2] : std::string_view("dbo");
    const Table* table = catalog_.findTable(schema, parts.back());
    if (!table) {
      if (!ifExists) deferError(serverError(3701, {written}), kMissingObject);
      continue;
    }
    out_.script += "DROP TABLE " + quoteIdent(table->sqliteName) + ";" + catalog_.forgetTable(table->sqliteName);
  } while (acceptSymbol(","));
  return true;
}

}  // namespace testdb
