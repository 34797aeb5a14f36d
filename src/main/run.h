#pragma once

/// The whole run: command line, settings, connection, bookings, listings and
/// run log. Returns the exit status: 0 after a complete run, 1 on an early stop.
int runDulmar(int argc, const char* const* argv);
