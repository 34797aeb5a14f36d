#pragma once
// What a durable commit costs and how many there were. SQL Server answers a
// commit only once its log records are on disk; the test database makes each
// durable commit wait that long, so batching commits shows in a benchmark,
// and counts them, so a benchmark can tell how many a run made.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

namespace testdb {

struct CommitSettings {
  // CommitMs / --commit-ms: the log flush each durable commit waits for (0: none)
  double commitMs = 0;
  // CommitCountFile / --commit-count-file: where the total is written at each
  // disconnect (empty: nowhere)
  std::string countFile;
};

/// Reads CommitMs's value (milliseconds, fractions allowed, 0 to 60000).
/// Returns 0, or -1 when it is no such number.
int readCommitMs(std::string_view text, double& out);

/// The durable commits of one database as a front end serves it, shared by
/// all its connections. Safe to share between threads.
class CommitLedger {
 public:
  explicit CommitLedger(CommitSettings settings) : settings_(std::move(settings)) {}
  const CommitSettings& settings() const { return settings_; }

  /// Waits for the log flush of one durable commit and counts it. Returns its
  /// number (from 1), over all connections.
  long record();
  /// The durable commits so far.
  long total() const { return total_.load(); }
  /// Writes the total to the count file ("N\n", replaced whole). Returns 0
  /// (also when there is no count file), or -1.
  int writeTotal() const;

 private:
  const CommitSettings settings_;
  std::atomic<long> total_{0};
  // one writer of the count file at a time
  mutable std::mutex fileMutex_;
};

}  // namespace testdb
