// SQLite names a violated constraint by its columns (UNIQUE), its name (CHECK)
// or not at all (FOREIGN KEY); SQL Server names the constraint, the table and
// the duplicate key. The catalog and the statement's own values fill the gap.

#include <cstring>

#include "engine/session.h"

namespace testdb {
namespace {

const char* verbOf(StatementKind kind) {
  switch (kind) {
    case StatementKind::Update: return "UPDATE";
    case StatementKind::Delete: return "DELETE";
    default: return "INSERT";
  }
}

// "UNIQUE constraint failed: t.a, t.b" -> {"a", "b"}
std::vector<std::string> failedColumns(const char* message) {
  std::vector<std::string> out;
  const char* p = strstr(message, "failed: ");
  if (!p) return out;
  std::string rest(p + 8);
  size_t start = 0;
  while (start < rest.size()) {
    size_t comma = rest.find(", ", start);
    std::string item = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t dot = item.rfind('.');
    out.push_back(dot == std::string::npos ? item : item.substr(dot + 1));
    if (comma == std::string::npos) break;
    start = comma + 2;
  }
  return out;
}

bool sameColumns(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!equalsNoCase(a[i], b[i])) return false;
  }
  return true;
}

Value columnValue(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return Value::real(sqlite3_column_double(st, i));
    case SQLITE_NULL: return Value::null();
    default:
      return Value::text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                     static_cast<size_t>(sqlite3_column_bytes(st, i))));
  }
}

}  // namespace

std::string Session::duplicateKeyValue(const Translation& tr, const Table& table, const Constraint& key) {
  std::vector<std::vector<Value>> rows;
  for (const std::vector<InsertValue>& row : tr.insertRows) {
    std::vector<Value> values;
    for (const std::string& col : key.columns) {
      Value v;
      for (size_t i = 0; i < tr.insertColumns.size() && i < row.size(); ++i) {
        if (!equalsNoCase(tr.insertColumns[i], col)) continue;
        if (row[i].isConst) {
          v = row[i].value;
        } else {
          sqlite3_stmt* st = nullptr;
          std::string sql = "SELECT " + row[i].sql;
          if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            int count = sqlite3_bind_parameter_count(st);
            for (int p = 0; p < count && p < static_cast<int>(tr.params.size()); ++p) {
              const Value& pv = tr.params[static_cast<size_t>(p)];
              if (pv.kind == ValueKind::Int) sqlite3_bind_int64(st, p + 1, pv.i);
              else if (pv.kind == ValueKind::Real) sqlite3_bind_double(st, p + 1, pv.d);
              else if (pv.kind == ValueKind::Text)
                sqlite3_bind_text(st, p + 1, pv.s.data(), static_cast<int>(pv.s.size()), SQLITE_TRANSIENT);
            }
            if (sqlite3_step(st) == SQLITE_ROW) v = columnValue(st, 0);
          }
          sqlite3_finalize(st);
        }
      }
      values.push_back(v);
    }
    rows.push_back(std::move(values));
  }
  // The rejected row is the one whose key is already stored.
  std::string where;
  for (size_t i = 0; i < key.columns.size(); ++i) {
    if (i) where += " AND ";
    where += quoteIdent(key.columns[i]) + " = ?" + std::to_string(i + 1);
  }
  std::string sql = "SELECT 1 FROM " + quoteIdent(table.sqliteName) + " WHERE " + where;
  sqlite3_stmt* probe = nullptr;
  sqlite3_prepare_v2(db_, sql.c_str(), -1, &probe, nullptr);
  const std::vector<Value>* chosen = rows.empty() ? nullptr : &rows.back();
  for (const std::vector<Value>& row : rows) {
    if (!probe) break;
    sqlite3_reset(probe);
    for (size_t i = 0; i < row.size(); ++i) {
      const Value& v = row[i];
      int idx = static_cast<int>(i) + 1;
      if (v.kind == ValueKind::Int) sqlite3_bind_int64(probe, idx, v.i);
      else if (v.kind == ValueKind::Real) sqlite3_bind_double(probe, idx, v.d);
      else if (v.kind == ValueKind::Text) sqlite3_bind_text(probe, idx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      else sqlite3_bind_null(probe, idx);
    }
    if (sqlite3_step(probe) == SQLITE_ROW) {
      chosen = &row;
      break;
    }
  }
  sqlite3_finalize(probe);
  std::string text;
  if (chosen) {
    for (size_t i = 0; i < chosen->size(); ++i) {
      if (i) text += ", ";
      text += displayValue((*chosen)[i]);
    }
  }
  return text;
}

void Session::mapConstraint(const Translation& tr, ErrorList& errors) {
  int extended = sqlite3_extended_errcode(db_);
  std::string message = sqlite3_errmsg(db_);
  catalog_.refresh(db_);
  const Table* table = catalog_.findBySqliteName(tr.target);
  const char* verb = verbOf(tr.kind);
  if (!table) {
    errors.push_back(serverError(50000 + (extended & 0xff), {"SQLite: ", message}));
    return;
  }
  std::string object = table->schema + "." + table->name;
  if (extended == SQLITE_CONSTRAINT_NOTNULL) {
    std::vector<std::string> cols = failedColumns(message.c_str());
    const Column* c = cols.empty() ? nullptr : table->find(cols.front());
    errors.push_back(serverError(515, {c ? c->name : (cols.empty() ? "" : cols.front()),
                                       databaseName() + "." + object, verb}));
    return;
  }
  if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE) {
    std::vector<std::string> cols = failedColumns(message.c_str());
    for (const Constraint& k : table->constraints) {
      if (k.kind != ConstraintKind::PrimaryKey && k.kind != ConstraintKind::Unique &&
          k.kind != ConstraintKind::UniqueIndex) {
        continue;
      }
      if (!sameColumns(k.columns, cols)) continue;
      std::string value = duplicateKeyValue(tr, *table, k);
      if (k.kind == ConstraintKind::UniqueIndex) {
        errors.push_back(serverError(2601, {object, k.name, value}));
      } else {
        errors.push_back(serverError(
            2627, {k.kind == ConstraintKind::PrimaryKey ? "PRIMARY KEY" : "UNIQUE KEY", k.name, object, value}));
      }
      return;
    }
  }
  if (extended == SQLITE_CONSTRAINT_CHECK) {
    std::string name = message.substr(message.find(": ") == std::string::npos ? 0 : message.find(": ") + 2);
    for (const Constraint& k : table->constraints) {
      if (k.kind != ConstraintKind::Check || !equalsNoCase(k.name, name)) continue;
      std::string column = k.columns.empty() ? "" : ", column '" + k.columns.front() + "'";
      errors.push_back(serverError(547, {verb, "CHECK", k.name, databaseName(), object, column}));
      return;
    }
  }
  if (extended == SQLITE_CONSTRAINT_FOREIGNKEY) {
    if (tr.kind == StatementKind::Delete) {
      for (const auto& [name, child] : catalog_.tables()) {
        for (const Constraint& k : child.constraints) {
          if (k.kind != ConstraintKind::ForeignKey || k.refTable != table->sqliteName) continue;
          errors.push_back(serverError(547, {verb, "REFERENCE", k.name, databaseName(),
                                             child.schema + "." + child.name,
                                             k.columns.empty() ? "" : ", column '" + k.columns.front() + "'"}));
          return;
        }
      }
    }
    for (const Constraint& k : table->constraints) {
      if (k.kind != ConstraintKind::ForeignKey) continue;
      const Table* parent = catalog_.findBySqliteName(k.refTable);
      std::string parentName = parent ? parent->schema + "." + parent->name : k.refTable;
      errors.push_back(serverError(547, {verb, "FOREIGN KEY", k.name, databaseName(), parentName,
                                         k.refColumns.empty() ? "" : ", column '" + k.refColumns.front() + "'"}));
      return;
    }
  }
  ServerError e;
  e.native = 50000 + (extended & 0xff);
  e.state = "23000";
  e.message = "SQLite: " + message;
  errors.push_back(e);
}

}  // namespace testdb
