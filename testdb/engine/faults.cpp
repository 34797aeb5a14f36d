#include "engine/faults.h"

#include <algorithm>
#include <charconv>

namespace testdb {
namespace {

/// Reads a whole non-negative decimal number. Returns 0, or -1.
int readCount(std::string_view text, long& out) {
  if (text.empty()) return -1;
  long n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < 0) return -1;
  out = n;
  return 0;
}

/// Reads "N1,N2,..." (positive numbers) in ascending order. Returns 0, or -1.
int readCounts(std::string_view text, std::vector<long>& out) {
  if (text.empty()) return -1;
  std::vector<long> counts;
  while (!text.empty()) {
    size_t comma = text.find(',');
    long n = 0;
    if (readCount(text.substr(0, comma), n) != 0 || n == 0) return -1;
    counts.push_back(n);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (comma != std::string_view::npos && text.empty()) return -1;
  }
  std::sort(counts.begin(), counts.end());
  out = std::move(counts);
  return 0;
}

/// Reads 0 or 1. Returns 0, or -1.
int readFlag(std::string_view text, bool& out) {
  if (text != "0" && text != "1") return -1;
  out = text == "1";
  return 0;
}

}  // namespace

const std::vector<std::string_view>& faultKeyNames() {
  static const std::vector<std::string_view> names = {
      "FailStmtAllocFrom", "FailOnText",           "FailNative",
      "FailState",         "FailMessage",          "BreakAfterStatements",
      "BreakAtStatements", "BreakAfterRunning",    "RefuseConnectAfterBreak",
      "StallAtStatements", "StallLogin",           "DownForMs",
      "BreakState",        "DeadlockAtStatements", "BreakAfterCommits"};
  return names;
}

int setFaultKey(FaultSettings& s, std::string_view key, std::string_view value) {
  if (key == "FailStmtAllocFrom") return readCount(value, s.failStmtAllocFrom);
  if (key == "FailOnText") {
    s.failOnText = value;
    return 0;
  }
  if (key == "FailNative") {
    long n = 0;
    if (readCount(value, n) != 0 || n > 2147483647L) return -1;
    s.failNative = static_cast<int>(n);
    return 0;
  }
  if (key == "FailState") {
    if (value.size() != 5) return -1;
    s.failState = value;
    return 0;
  }
  if (key == "FailMessage") {
    s.failMessage = value;
    return 0;
  }
  if (key == "BreakAfterStatements") return readCount(value, s.breakAfterStatements);
  if (key == "BreakAtStatements") return readCounts(value, s.breakAtStatements);
  if (key == "BreakAfterRunning") return readFlag(value, s.breakAfterRunning);
  if (key == "RefuseConnectAfterBreak") return readFlag(value, s.refuseConnectAfterBreak);
  if (key == "StallAtStatements") return readCounts(value, s.stallAtStatements);
  if (key == "StallLogin") return readCount(value, s.stallLogin);
  if (key == "DownForMs") return readCount(value, s.downForMs);
  if (key == "DeadlockAtStatements") return readCounts(value, s.deadlockAtStatements);
  if (key == "BreakAfterCommits") return readCounts(value, s.breakAfterCommits);
  if (key == "BreakState") {
    if (value.size() != 5) return -1;
    s.breakState = value;
    return 0;
  }
  return -1;
}

bool FaultPlan::acceptsConnections() const { return !down(); }

long FaultPlan::countStatement() {
  if (down()) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  return ++statements_;
}

bool FaultPlan::stallsAt(long n) const {
  return std::binary_search(settings_.stallAtStatements.begin(), settings_.stallAtStatements.end(), n);
}

bool FaultPlan::deadlocksAt(long n) const {
  return std::binary_search(settings_.deadlockAtStatements.begin(), settings_.deadlockAtStatements.end(), n);
}

long FaultPlan::countCommit() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ++commits_;
}

bool FaultPlan::breaksAfterCommit(long n) const {
  return std::binary_search(settings_.breakAfterCommits.begin(), settings_.breakAfterCommits.end(), n);
}

bool FaultPlan::loginStalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++logins_;
  return settings_.stallLogin > 0 && logins_ >= settings_.stallLogin;
}

bool FaultPlan::breaksAt(long n) const {
  return std::binary_search(settings_.breakAtStatements.begin(), settings_.breakAtStatements.end(), n);
}

void FaultPlan::recordBreak() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (settings_.refuseConnectAfterBreak) down_ = true;
  if (settings_.downForMs > 0)
    upAgain_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(settings_.downForMs);
}

bool FaultPlan::down() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return down_ || std::chrono::steady_clock::now() < upAgain_;
}

int ConnectionFaults::connect(std::shared_ptr<FaultPlan> plan) {
  plan_ = std::move(plan);
  statements_ = 0;
  allocations_ = 0;
  broken_ = false;
  if (plan_ && !plan_->acceptsConnections()) {
    broken_ = true;
    return -1;
  }
  return 0;
}

void ConnectionFaults::breakLink() {
  broken_ = true;
  if (plan_) plan_->recordBreak();
}

FaultVerdict ConnectionFaults::beforeStatement(std::string_view text, ServerError& error) {
  if (broken_) return FaultVerdict::Break;
  if (!plan_) return FaultVerdict::Run;
  const FaultSettings& s = plan_->settings();
  long number = plan_->countStatement();
  // A downed server takes every open connection with it.
  if (number == 0) {
    broken_ = true;
    return FaultVerdict::Break;
  }
  ++statements_;
  if (plan_->stallsAt(number)) return FaultVerdict::Stall;
  bool lost = (s.breakAfterStatements > 0 && statements_ > s.breakAfterStatements) || plan_->breaksAt(number);
  if (lost) {
    breakLink();
    return s.breakAfterRunning ? FaultVerdict::BreakAfterRun : FaultVerdict::Break;
  }
  if (plan_->deadlocksAt(number)) return FaultVerdict::Deadlock;
  if (!s.failOnText.empty() && text.find(s.failOnText) != std::string_view::npos) {
    error = serverError(s.failNative);
    if (!s.failState.empty()) error.state = s.failState;
    if (!s.failMessage.empty()) error.message = s.failMessage;
    if (error.message.empty()) error.message = "Injected failure " + std::to_string(s.failNative) + ".";
    return FaultVerdict::Fail;
  }
  return FaultVerdict::Run;
}

FaultVerdict ConnectionFaults::beforeSessionControl() {
  if (broken_) return FaultVerdict::Break;
  if (plan_ && plan_->down()) {
    broken_ = true;
    return FaultVerdict::Break;
  }
  return FaultVerdict::Run;
}

bool ConnectionFaults::afterCommit() {
  if (!plan_ || !plan_->breaksAfterCommit(plan_->countCommit())) return false;
  breakLink();
  return true;
}

std::string_view ConnectionFaults::breakState() const {
  if (plan_ && !plan_->settings().breakState.empty()) return plan_->settings().breakState;
  return "08S01";
}

bool ConnectionFaults::allocationFails() {
  ++allocations_;
  long from = plan_ ? plan_->settings().failStmtAllocFrom : 0;
  return from > 0 && allocations_ >= from;
}

}  // namespace testdb
