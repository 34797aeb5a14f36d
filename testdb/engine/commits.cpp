#include "engine/commits.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testdb {

int readCommitMs(std::string_view text, double& out) {
  std::string copy(text);
  if (copy.empty()) return -1;
  char* end = nullptr;
  double ms = strtod(copy.c_str(), &end);
  // A NaN fails both comparisons.
  if (*end || !(ms >= 0 && ms <= 60000)) return -1;
  out = ms;
  return 0;
}

long CommitLedger::record() {
  // The session holds its locks while it waits, as SQL Server's does on WRITELOG.
  if (settings_.commitMs > 0)
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(settings_.commitMs));
  return ++total_;
}

int CommitLedger::writeTotal() const {
  if (settings_.countFile.empty()) return 0;
  std::lock_guard<std::mutex> lock(fileMutex_);
  // Through a temporary file, so a reader never sees half a number.
  std::string tmp = settings_.countFile + ".tmp";
  FILE* f = fopen(tmp.c_str(), "w");
  if (!f) return -1;
  fprintf(f, "%ld\n", total());
  if (fclose(f) != 0) return -1;
  return rename(tmp.c_str(), settings_.countFile.c_str()) == 0 ? 0 : -1;
}

}  // namespace testdb
