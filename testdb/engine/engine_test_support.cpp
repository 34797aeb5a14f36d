#include "engine/engine_test_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tsql/sql_script.h"

namespace testdb_test {

using testdb::ErrorList;
using testdb::Execution;
using testdb::Session;

TestDatabase::TestDatabase() {
  std::string pattern = (std::filesystem::temp_directory_path() / "testdb-engine-XXXXXX").string();
  if (mkdtemp(pattern.data())) dir_ = pattern;
  file_ = dir_ + "/test.db";
  open(session_);
}

TestDatabase::~TestDatabase() {
  session_.close();
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

int TestDatabase::open(Session& session, testdb::SessionOptions options) const {
  options.file = file_;
  options.databaseName = "attendance";
  ErrorList errors;
  return session.open(options, errors);
}

ErrorList TestDatabase::run(const std::string& sql) {
  Execution out;
  ErrorList errors;
  session_.execute(sql, out, errors);
  session_.release(out);
  return errors;
}

std::vector<std::string> TestDatabase::rowsOf(Session& session, const std::string& sql) {
  std::vector<std::string> rows;
  Execution out;
  ErrorList errors;
  if (session.execute(sql, out, errors) != 0) {
    rows.push_back("error: " + (errors.empty() ? std::string() : errors.front().message));
    return rows;
  }
  while (session.next(out, errors) == 1) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(out.stmt); ++i) {
      if (i) row += '|';
      const unsigned char* text = sqlite3_column_text(out.stmt, i);
      row += text ? std::string(reinterpret_cast<const char*>(text),
                                static_cast<size_t>(sqlite3_column_bytes(out.stmt, i)))
                  : std::string("NULL");
    }
    rows.push_back(std::move(row));
  }
  if (!errors.empty()) rows.push_back("error: " + errors.front().message);
  session.release(out);
  return rows;
}

std::vector<std::string> TestDatabase::rows(const std::string& sql) { return rowsOf(session_, sql); }

int TestDatabase::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  std::stringstream text;
  text << in.rdbuf();
  for (const std::string& statement : testdb::splitScript(text.str())) {
    if (!run(statement).empty()) return -1;
  }
  return 0;
}

std::vector<std::string> describe(const ErrorList& errors) {
  std::vector<std::string> out;
  for (const testdb::ServerError& e : errors) out.push_back(std::to_string(e.native) + " " + e.state + " " + e.message);
  return out;
}

}  // namespace testdb_test
