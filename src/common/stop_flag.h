#pragma once
// The operator's stop request as the run and its waits see it: a count of the
// signals received, set by the process around the run. The first asks the run
// to stop after the request in flight; a second, while it stops, cuts every
// wait that is left, so the run writes what it must and ends at once.

#include <csignal>

/// The stop count's value from which every wait ends at once.
inline constexpr std::sig_atomic_t kStopAtOnce = 2;

/// True when a stop was asked for. Returns false for no flag.
inline bool stopAsked(const volatile std::sig_atomic_t* stop) { return stop != nullptr && *stop != 0; }

/// True when waits are to end at once (a second signal). Returns false for no flag.
inline bool stopAtOnce(const volatile std::sig_atomic_t* stop) { return stop != nullptr && *stop >= kStopAtOnce; }
