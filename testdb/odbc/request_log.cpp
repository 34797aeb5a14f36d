#include "odbc/request_log.h"

#include <cstdio>

namespace testdb {

int logRequest(const std::string& path, const std::string& text) {
  if (path.empty()) return 0;
  // Opened for each request: the program may connect more than once, and
  // every connection writes to the same file in order.
  FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return -1;
  const bool written = std::fprintf(file, "%zu\n", text.size()) > 0 &&
                       std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fputc('\n', file) != EOF;
  return std::fclose(file) == 0 && written ? 0 : -1;
}

int logLimit(const std::string& path, const char* name, unsigned long seconds) {
  if (path.empty()) return 0;
  FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return -1;
  const bool written = std::fprintf(file, "%s %lu\n", name, seconds) > 0;
  return std::fclose(file) == 0 && written ? 0 : -1;
}

}  // namespace testdb
