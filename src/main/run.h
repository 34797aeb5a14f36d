#pragma once
// The whole run of dulmar, apart from the process around it: the run works
// with the database it is given and prints to the stream it is given, so
// tests can run it against a fake database and read what it printed.

#include <cstdio>

#include "common/stop_flag.h"
#include "db/booking_store.h"

class RunTurn;

/// The whole run: command line, settings, connection, bookings, lists and
/// run log, everything printed to out. A stop flag that becomes non-zero
/// (a signal) ends the run after the request in flight. The run holds turn
/// (when given) except while it waits for the database, and leaves in it
/// what ends the run from outside at each point. Returns the exit status: 0
/// after a complete run, 1 on an early stop, 2 after a complete run that lost
/// a run-log row or part of its output.
int runDulmar(int argc, const char* const* argv, BookingStore& store, FILE* out, const StopFlag* stop = nullptr,
              RunTurn* turn = nullptr);
