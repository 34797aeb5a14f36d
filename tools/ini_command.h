#pragma once
// The commands of dulmar-ini, apart from the process around them so that
// tests can run them.

#include <cstdio>

/// Exit status of dulmar-ini when a command did its work.
inline constexpr int kIniExitDone = 0;
/// Exit status when a command failed (bad value, unreadable file, ...).
inline constexpr int kIniExitFailed = 1;
/// Exit status for a wrong command line.
inline constexpr int kIniExitUsage = 2;

/// How long a set waits for another set of the same file to finish: one
/// takes milliseconds, so only a stopped or hanging one makes it wait this.
inline constexpr int iniLockWaitMilliseconds = 30000;

/// Runs dulmar-ini with its command line (argv[0] is the program's name),
/// reading a TEXT or VALUE of "-" from in, writing results to out and every
/// message to err; a set waits up to lockWaitMilliseconds for another set of
/// the same file. Returns kIniExitDone, kIniExitFailed or kIniExitUsage.
int runIniCommand(int argc, const char* const* argv, FILE* in, FILE* out,
                  FILE* err, int lockWaitMilliseconds = iniLockWaitMilliseconds);
