#pragma once
// The run's turn: the one lock the run shares with the thread that watches
// for the operator's stop. The run holds it from its start to its end and
// lets go of it only while it waits for the database, where no signal can
// reach it and no other thread may touch the driver. When a stop is not
// answered in time, the watcher takes the turn and ends the run from outside
// with what the run has got to: its thread never gets the turn back, and the
// process exits without waiting for the driver's call to return. So the lines
// and the stop message are written once, by one of the two.

#include <functional>
#include <mutex>
#include <utility>

#include "db/booking_store.h"

class RunTurn {
 public:
  /// The run's thread: takes the turn (for ever, once the watcher has it).
  void hold() { mutex_.lock(); }
  /// The run's thread: gives the turn up.
  void release() { mutex_.unlock(); }
  /// The run's thread, holding the turn: sets what ends the run from outside
  /// at this point of the run; nullptr when the run ends by itself from here.
  void setEnding(std::function<void()> ending) { ending_ = std::move(ending); }
  /// The watcher: takes the turn when the run has let go of it and there is
  /// an ending, and runs it. Returns true when it did (the turn is then kept
  /// for good: the caller ends the process), false when the run holds the
  /// turn or ends by itself.
  bool endFromOutside() {
    if (!mutex_.try_lock()) return false;
    if (!ending_) {
      mutex_.unlock();
      return false;
    }
    ending_();
    return true;
  }

 private:
  std::mutex mutex_;
  std::function<void()> ending_;
};

/// Holds the run's turn for the length of the run, and leaves nothing for
/// the watcher to end when the run returns.
class HeldTurn {
 public:
  explicit HeldTurn(RunTurn* turn) : turn_(turn) {
    if (turn_ != nullptr) turn_->hold();
  }
  HeldTurn(const HeldTurn&) = delete;
  HeldTurn& operator=(const HeldTurn&) = delete;
  ~HeldTurn() {
    if (turn_ == nullptr) return;
    turn_->setEnding(nullptr);
    turn_->release();
  }
  /// Sets what ends the run from outside from here on.
  void endingFromHere(std::function<void()> ending) {
    if (turn_ != nullptr) turn_->setEnding(std::move(ending));
  }

 private:
  RunTurn* turn_;
};

/// The run's database with the turn let go of during every call that waits
/// for the server, and taken back after it.
class TurnReleasingStore final : public BookingStore {
 public:
  TurnReleasingStore(BookingStore& store, RunTurn* turn) : store_(store), turn_(turn) {}

  int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
              std::vector<Diagnostic>& further) override {
    Away away(turn_);
    return store_.connect(login, password, dataSource, diag, further);
  }
  size_t batchSize() const override { return store_.batchSize(); }
  size_t resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) override {
    Away away(turn_);
    return store_.resolveBookings(records, resolutions);
  }
  size_t insertBookings(std::span<const BookingRecord> records, const char* identifier,
                        std::span<StatementOutcome> outcomes) override {
    Away away(turn_);
    return store_.insertBookings(records, identifier, outcomes);
  }
  size_t writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome> outcomes) override {
    Away away(turn_);
    return store_.writeRunLogRows(records, outcomes);
  }
  LinkState link() const override { return store_.link(); }

 private:
  /// Lets go of the turn for one call.
  class Away {
   public:
    explicit Away(RunTurn* turn) : turn_(turn) {
      if (turn_ != nullptr) turn_->release();
    }
    Away(const Away&) = delete;
    Away& operator=(const Away&) = delete;
    ~Away() {
      if (turn_ != nullptr) turn_->hold();
    }

   private:
    RunTurn* turn_;
  };

  BookingStore& store_;
  RunTurn* turn_;
};
