// dulmar: the run against the ODBC database, printing to standard output.
// The process around the run decides what the operator's session does to it:
// closed standard descriptors must not be taken by a connection or file, a
// closed output pipe or a file size limit must not end the database work,
// and an interruption (Ctrl-C, SIGTERM, a closed terminal) lets the request
// in flight finish for a few seconds, so its outcomes are known, and then, or
// at a second interruption, ends the run at once whatever the link does. No
// thread but the run's ever calls the driver: a cancel from another thread
// is not safe with every driver.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
#include "main/run_turn.h"

namespace {
/// The count of stop requests; the run looks at it between statements, and
/// a second request cuts every wait. The one piece of state that truly
/// belongs to the process.
StopFlag stopRequested{0};

/// The turn the run holds except while it waits for the database.
RunTurn runTurn;

/// Set when the run has returned, for a handler that waits for it.
std::atomic<bool> runEnded{false};

/// How long the run has after the first stop request to finish the request
/// in flight and stop by itself: a request of a few hundred statements takes
/// well under a second on a live link.
constexpr std::chrono::milliseconds kStopGrace{5000};
/// How often the watchdog looks at the stop count.
constexpr std::chrono::milliseconds kWatchdogSlice{50};

/// Counts a stop request.
void requestStop() {
  int seen = stopRequested.load();
  while (seen < kStopAtOnce && !stopRequested.compare_exchange_weak(seen, seen + 1)) {
  }
}

/// Ends a run that has not stopped in time: once the grace after the first
/// request is over, or at once after a second, every wait of the run is cut,
/// and when the run waits for the database, what it has got to is written from
/// here and the process ends with status 1, the driver's call left behind
/// (the server rolls back what was not committed when the link closes).
std::atomic<bool> watchdogEnds{false};
void watchStopRequests() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point first{};
  bool asked = false;
  while (!watchdogEnds) {
    std::this_thread::sleep_for(kWatchdogSlice);
    const int count = stopRequested.load();
    if (count == 0) continue;
    if (!asked) first = Clock::now();
    asked = true;
    if (count < kStopAtOnce && Clock::now() - first < kStopGrace) continue;
    if (runTurn.endFromOutside()) {
      std::fflush(stdout);
      std::_Exit(1);
    }
    // The run holds its turn (its own end, or between requests): it stops by
    // itself, its waits cut now.
    stopRequested.store(kStopAtOnce);
  }
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

/// Returns TRUE for the events that ask the run to stop.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  requestStop();
  // A closed console window ends the process when the handler returns (and
  // after 5 seconds in any case): no grace for the request in flight, and the
  // run, or the watchdog for it, has that long to write its lines.
  if (event == CTRL_CLOSE_EVENT) stopRequested.store(kStopAtOnce);
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
    if (signal > 0) requestStop();
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
  // Without a watcher the signals keep their default: they end the process.
  watchInterruptions();
  std::thread watchdog;
  try {
    watchdog = std::thread(watchStopRequests);
  } catch (...) {
    // Without it a stop still ends the run after the request in flight.
  }
  const int status = runDulmar(argc, argv, database, stdout, &stopRequested, &runTurn);
  std::fflush(stdout);
  runEnded = true;
  watchdogEnds = true;
  if (watchdog.joinable()) watchdog.join();
#if !defined(_WIN32)
  stopWatching();
#endif
  return status;
}
