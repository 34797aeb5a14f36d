// Preloaded into dulmar by the benchmark (LD_PRELOAD) to write down every
// statement the program hands to the driver manager, in order, so that the
// floor can send exactly the same texts. Each statement is written as it was
// passed, followed by a zero byte. The file is named by
// DULMAR_BENCH_STATEMENT_LOG; without it, statements pass untouched.

#include <dlfcn.h>
#include <sql.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
using ExecDirectFunction = SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);

FILE* openLog() {
  const char* path = std::getenv("DULMAR_BENCH_STATEMENT_LOG");
  if (path == nullptr || *path == '\0') return nullptr;
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) std::fprintf(stderr, "statement log: cannot write %s\n", path);
  return f;
}

// Opened on first use and flushed by exit(), which dulmar reaches on every
// path it ends by.
FILE* statementLog() {
  static FILE* log = openLog();
  return log;
}
}  // namespace

extern "C" SQLRETURN SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
  static auto next = reinterpret_cast<ExecDirectFunction>(dlsym(RTLD_NEXT, "SQLExecDirect"));
  if (next == nullptr) return SQL_ERROR;
  if (FILE* log = statementLog(); log != nullptr && text != nullptr) {
    size_t n = length == SQL_NTS ? std::strlen(reinterpret_cast<const char*>(text)) : static_cast<size_t>(length);
    std::fwrite(text, 1, n, log);
    std::fputc('\0', log);
  }
  return next(statement, text, length);
}
