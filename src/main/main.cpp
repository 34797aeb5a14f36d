// dulmar: the run against the ODBC database, printing to standard output.
// The process around the run decides what a signal does: a closed output
// pipe must not end the database work, and an interruption lets the
// statement in flight finish before the run stops.

#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "db/database.h"
#include "main/run.h"

namespace {
/// Set when the operator asks the run to stop; the run looks at it between
/// statements. The one piece of state that truly belongs to the process.
volatile std::sig_atomic_t stopRequested = 0;

#if defined(_WIN32)
BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  stopRequested = 1;
  return TRUE;
}

void catchInterruptions() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }
#else
void onStopSignal(int) { stopRequested = 1; }

void catchInterruptions() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
  // SA_RESTART: the statement in flight is not cut short by the signal.
  struct sigaction stop {};
  stop.sa_handler = onStopSignal;
  stop.sa_flags = SA_RESTART;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
}
#endif
}  // namespace

int main(int argc, char** argv) {
  catchInterruptions();
  Database database;
#if defined(DULMAR_RESTORE_WAIT_MS)
  // The fault tests' build: the same run, with waits short enough for a
  // thousand runs against a server that is down.
  database.setRestoreWaits({0, DULMAR_RESTORE_WAIT_MS, 2 * DULMAR_RESTORE_WAIT_MS});
#endif
  return runDulmar(argc, argv, database, stdout, &stopRequested);
}
