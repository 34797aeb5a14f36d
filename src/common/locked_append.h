#pragma once
// Appending a run's lines to a file that other runs and a follow-on tool share:
// the file is checked at the start without being kept open, and written at the
// end by its path, so a tool that takes or empties it meanwhile gets the lines
// in the file that is there then. The append takes its turn on PATH.lock (the
// lock dulmar-ini takes for its file), mends the file's end (the torn last line
// a killed run left goes; a whole last line an editor left without its line end
// gets one), and cuts back only its own bytes when its write fails.

#include <string>
#include <string_view>

#include "common/append_file.h"
#include "common/file_lock.h"
#include "common/stop_flag.h"

/// How long an append waits for another run's: a run holds it for one write,
/// so a longer wait means a holder that is stopped or hangs.
inline constexpr int kAppendLockWaitMilliseconds = 30000;

/// How the append went, besides its result.
struct AppendReport {
  /// Bytes of a torn last line removed before the append.
  long tornBytes = 0;
  /// True when a whole last line without its line end got one.
  bool lineEndAdded = false;
  /// Bytes 0x1A removed from the end of the file before the append: a reader
  /// in Windows text mode would stop at them, before the appended lines.
  long endMarks = 0;
  /// True when the lock was not had (a second stop request cut the wait) and
  /// the bytes were appended without it.
  bool withoutLock = false;
};

/// Checks that path can take lines: opens it for appending, creating it when
/// missing, and closes it again. Returns 0, or -1.
int checkAppendable(const char* path);

/// Takes the turn on path + ".lock", waiting up to waitMilliseconds; a stop
/// flag that asks to stop at once ends the wait. Returns 0 (lock held), 1 when
/// another holder made it wait first (onWait was called then, once), or -1
/// when the wait ran out or the lock file cannot be had.
int takeAppendTurn(FileLock& lock, const std::string& path, int waitMilliseconds, const StopFlag* stop,
                   void (*onWait)(void*), void* context);

/// Tells whether text, a last line without its line end, is a whole line of
/// the file's own form. Returns true or false.
using WholeLine = bool (*)(std::string_view text);

/// Mends the end of the file at path (created when missing) for an append:
/// bytes 0x1A at its end go; then a last line without its line end gets CR LF
/// when wholeLine (may be null) says it is whole, and is removed otherwise.
/// Returns 0 with what was done in report, or -1.
int mendLastLine(const std::string& path, WholeLine wholeLine, AppendReport& report);

/// Appends bytes in one write to path after mending its end (both under the
/// caller's turn, or without the mending when report says the turn was not
/// had), a failed write cut back to the length before it. Returns 0, or -1
/// (the file then holds none of bytes).
int appendWhole(const std::string& path, std::string_view bytes, AppendReport& report, WholeLine wholeLine = nullptr,
                WriteBytes write = nullptr);

/// Appends bytes to path in its turn with other runs: takes the turn (waiting
/// up to waitMilliseconds, onWait told once when it must wait), mends the
/// file's end and writes, all before the turn is given back. When the wait
/// ends without the turn because the stop flag asks to stop at once, or
/// anyway is set, the bytes are written without the turn and without mending
/// the file's end (another run may be writing that line right now), and
/// report says so. Returns 0, or -1 (the file then holds none of bytes).
int appendInTurn(const std::string& path, std::string_view bytes, int waitMilliseconds, bool anyway,
                 const StopFlag* stop, void (*onWait)(void*), void* context, WholeLine wholeLine, AppendReport& report,
                 WriteBytes write = nullptr);
