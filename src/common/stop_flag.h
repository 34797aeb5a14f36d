#pragma once
// The operator's stop request as the run and its waits see it: a count of the
// signals received, set by the process around the run. The first asks the run
// to stop after the request in flight; a second, while it stops, cuts every
// wait that is left, so the run writes what it must and ends at once.

#include <atomic>

/// The stop count: written by the thread that takes the signals (or the
/// console's handler thread on Windows) while the run reads it, so it is an
/// atomic, lock-free and therefore also safe in a signal handler.
using StopFlag = std::atomic<int>;
static_assert(StopFlag::is_always_lock_free, "the stop count must be safe to touch from a signal");

/// The stop count's value from which every wait ends at once.
inline constexpr int kStopAtOnce = 2;

/// True when a stop was asked for. Returns false for no flag.
inline bool stopAsked(const StopFlag* stop) { return stop != nullptr && stop->load() != 0; }

/// True when waits are to end at once (a second signal). Returns false for no flag.
inline bool stopAtOnce(const StopFlag* stop) { return stop != nullptr && stop->load() >= kStopAtOnce; }
