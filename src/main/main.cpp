// dulmar: the run against the ODBC database, printing to standard output.
// The process around the run decides what the operator's session does to it:
// closed standard descriptors must not be taken by a connection or file, a
// closed output pipe or a file size limit must not end the database work,
// and an interruption (Ctrl-C, SIGTERM, a closed terminal) cancels the
// request that waits for the server, so the run stops within moments.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

#include "common/stop_flag.h"
#include "db/database.h"
#include "main/run.h"

namespace {
/// The count of stop requests; the run looks at it between statements, and
/// a second request cuts every wait. The one piece of state that truly
/// belongs to the process.
StopFlag stopRequested{0};

/// The database whose request in flight a stop request cancels, while the
/// run has one; guarded by cancelTargetMutex.
std::mutex cancelTargetMutex;
Database* cancelTarget = nullptr;

/// Set when the run has returned, for a handler that waits for it.
std::atomic<bool> runEnded{false};

/// Counts a stop request and cancels the request in flight.
void requestStop() {
  int seen = stopRequested.load();
  while (seen < kStopAtOnce && !stopRequested.compare_exchange_weak(seen, seen + 1)) {
  }
  std::lock_guard<std::mutex> hold(cancelTargetMutex);
  if (cancelTarget != nullptr) cancelTarget->cancelInFlight();
}

/// Sets or clears the database a stop request cancels.
void setCancelTarget(Database* database) {
  std::lock_guard<std::mutex> hold(cancelTargetMutex);
  cancelTarget = database;
}

#if defined(_WIN32)
/// How long a closed console window's handler waits for the run, within the
/// 5 seconds Windows gives it, and in which steps.
constexpr int kCloseGraceMilliseconds = 4500;
constexpr int kCloseGraceSlice = 50;

/// Opens each standard stream that has no descriptor on NUL.
void keepStandardDescriptorsOpen() {
  // A standard handle that was closed or never given leaves its stream
  // without a descriptor (_fileno below 0): it is opened on NUL for reading,
  // so output to it fails as a full disk does (status 2). _get_osfhandle is
  // not asked: with a bad descriptor it ends the process.
  if (_fileno(stdin) < 0) std::freopen("NUL", "rb", stdin);
  if (_fileno(stdout) < 0) std::freopen("NUL", "rb", stdout);
  if (_fileno(stderr) < 0) std::freopen("NUL", "rb", stderr);
}

// The console handler runs on a thread of its own, so it may cancel the
// request the run waits for.
/// Returns TRUE for the events that ask the run to stop.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  requestStop();
  // A closed console window ends the process when the handler returns (and
  // after 5 seconds in any case): give the run that long to write its lines.
  if (event == CTRL_CLOSE_EVENT)
    for (int waited = 0; !runEnded && waited < kCloseGraceMilliseconds; waited += kCloseGraceSlice)
      Sleep(kCloseGraceSlice);
  return TRUE;
}

/// Returns 0, or -1 when the handler could not be set.
int watchInterruptions() { return SetConsoleCtrlHandler(onConsoleControl, TRUE) ? 0 : -1; }
#else
/// Opens each closed descriptor of 0, 1 and 2 on the null device.
void keepStandardDescriptorsOpen() {
  // open() takes the lowest free descriptor, so each closed one of 0, 1, 2
  // is filled in turn. Read-only: output to a closed standard output fails
  // as before (status 2) instead of vanishing.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

/// The signals that ask the run to stop.
sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

/// The watcher thread, while there is one; set to end it before the process
/// ends, so that no thread is left blocked in a wait at the exit.
pthread_t watcher;
bool watching = false;
std::atomic<bool> watcherEnds{false};

/// The watcher thread: takes the stop signals for the whole process. Returns
/// once watcherEnds is set and a signal woke it.
void* waitForStopSignals(void*) {
  const sigset_t set = stopSignals();
  const timespec again{1, 0};
  for (;;) {
    const int signal = sigtimedwait(&set, nullptr, &again);
    if (watcherEnds) return nullptr;
    // Once asked to stop, the request in flight is cancelled again each
    // second: a signal that came just before a request began finds nothing
    // to cancel.
    if (signal > 0) {
      requestStop();
    } else if (stopRequested != 0) {
      std::lock_guard<std::mutex> hold(cancelTargetMutex);
      if (cancelTarget != nullptr) cancelTarget->cancelInFlight();
    }
  }
  return nullptr;
}

/// Returns 0, or -1 when no watcher could be started.
int watchInterruptions() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  // A file size limit makes the write fail with its error, as a full disk.
  sigaction(SIGXFSZ, &ignore, nullptr);
  // Blocked here and in every thread started later (the driver's too); only
  // the watcher takes them, with sigtimedwait.
  const sigset_t set = stopSignals();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  if (pthread_create(&watcher, nullptr, waitForStopSignals, nullptr) != 0) {
    // Without a watcher a blocked signal would do nothing at all.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return -1;
  }
  watching = true;
  return 0;
}

/// Ends the watcher: a signal sent to it alone wakes it at once.
void stopWatching() {
  if (!watching) return;
  watcherEnds = true;
  if (pthread_kill(watcher, SIGTERM) == 0) pthread_join(watcher, nullptr);
  watching = false;
}
#endif
}  // namespace

int main(int argc, char** argv) {
  keepStandardDescriptorsOpen();
#if defined(DULMAR_BATCH_STATEMENTS)
  // The benchmark's builds that measure other batch sizes.
  Database database(DULMAR_BATCH_STATEMENTS);
#else
  Database database;
#endif
#if defined(DULMAR_RESTORE_WAIT_MS)
  // The fault tests' build: the same run, with waits and time limits short
  // enough for a thousand runs against a server that is down or stalls.
  database.setRestoreWaits({0, DULMAR_RESTORE_WAIT_MS, 2 * DULMAR_RESTORE_WAIT_MS});
  database.setTimeouts(Timeouts{DULMAR_SHORT_TIMEOUT_SECONDS, DULMAR_SHORT_TIMEOUT_SECONDS});
#endif
  database.setStopFlag(&stopRequested);
  setCancelTarget(&database);
  // Without a watcher the signals keep their default: they end the process.
  watchInterruptions();
  const int status = runDulmar(argc, argv, database, stdout, &stopRequested);
  setCancelTarget(nullptr);
  std::fflush(stdout);
  runEnded = true;
#if !defined(_WIN32)
  stopWatching();
#endif
  return status;
}
