#pragma once
// When the attempts to restore a lost link are made and how long each login
// may take: the waits in the order given, all within their sum and one more
// second, so that a server that accepts connections and never answers a
// login cannot stretch the whole beyond what the operator is promised.

#include <chrono>
#include <cstddef>
#include <vector>

class RestoreSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  /// Plans the attempts after waits (milliseconds, one attempt each) from
  /// start, each login at most capSeconds.
  RestoreSchedule(const std::vector<int>& waits, int capSeconds, Clock::time_point start)
      : waits_(waits), cap_(capSeconds) {
    long budget = 1000;
    for (int wait : waits_) budget += wait;
    deadline_ = start + std::chrono::milliseconds(budget);
  }

  /// The wait before the next attempt, taken from the plan. Returns it, or -1
  /// when no attempt is left or its wait would reach the end of the time.
  int nextWait(Clock::time_point now) {
    if (next_ >= waits_.size()) return -1;
    const int wait = waits_[next_++];
    return now + std::chrono::milliseconds(wait) >= deadline_ ? -1 : wait;
  }

  /// The login limit of an attempt made at now: what is left of the time, in
  /// whole seconds rounded up (0 would mean no limit to a driver), at most
  /// the cap. Returns it, or 0 when no time is left.
  int loginSeconds(Clock::time_point now) const {
    const long left =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count());
    if (left <= 0) return 0;
    const int seconds = static_cast<int>((left + 999) / 1000);
    return seconds < cap_ ? seconds : cap_;
  }

 private:
  std::vector<int> waits_;
  int cap_;
  size_t next_ = 0;
  Clock::time_point deadline_;
};
