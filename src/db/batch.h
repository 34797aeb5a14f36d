#pragma once
// Running a request of several statements and giving each result to its
// statement by position. The results come from a ResultSource (ODBC in the
// program, a script in the tests), so every way a request can go is the same
// code: a result that fails, a request that ends early (its later statements
// did not run and are sent again), a link lost in mid-request (the statements
// without an outcome run again on the new connection), and a result that does
// not fit its statement, after which nothing is guessed and the run stops.

#include <cstddef>
#include <functional>
#include <string_view>

#include "db/diagnostic.h"
#include "db/fetch_column.h"
#include "db/request.h"

/// Most columns a lookup takes from its row.
inline constexpr int kMaxLookupColumns = 3;

/// One result of a request, as the driver gave it.
struct StatementResult {
  enum class Kind {
    /// There are no more results.
    End,
    /// The statement failed: diag holds its first record.
    Failed,
    /// A result set: row says whether it had a row, columns its first row.
    Rows,
    /// A row count.
    Count,
  };
  Kind kind;
  Diagnostic diag;
  /// For Failed: the failure lost the link to the server.
  bool linkLost;
  /// For Failed: the request never went out (no statement handle could be
  /// had), so every statement of it failed so.
  bool notSent;
  /// For Rows: columns in the set, and whether a first row came.
  int columnCount;
  bool row;
  BoundColumn columns[kMaxLookupColumns];
  /// For Count.
  long long count;
};

/// Where the results of a request come from.
class ResultSource {
 public:
  virtual ~ResultSource() = default;
  /// Sends text and reads its first result into result, taking the first
  /// columns of a row. Returns nothing: a failure is a Failed result.
  virtual void send(std::string_view text, int columns, StatementResult& result) = 0;
  /// Reads the next result of the request sent last.
  virtual void next(int columns, StatementResult& result) = 0;
  /// Ends the request sent last, whatever of it is unread.
  virtual void close() = 0;
  /// Makes the lost link anew. Returns 0, or -1 when it is lost for good.
  virtual int restore() = 0;
  /// Ends whatever transaction an unfinished request left open on the
  /// connection. Returns 0, or -1 when that failed too (the link is gone).
  virtual int rollBack() = 0;
  /// Told that the server chose the request as a deadlock victim for the
  /// attempt-th time running; waits a moment before it is sent again.
  /// Returns 0, or -1 when the run is to stop instead.
  virtual int deadlocked(int attempt) = 0;
};

/// How running a request ended.
enum class RequestEnd {
  /// Every statement got its result.
  Done,
  /// The link is lost for good; statements without a result remain.
  LinkLost,
  /// A result did not fit its statement; the run must stop.
  Misfit,
};

/// Gives a statement (and its text) its result. rerun says the statement was
/// sent again after a lost link, so it may have run once already.
using DeliverResult =
    std::function<void(const RequestStatement&, std::string_view text, const StatementResult&, bool rerun)>;

/// How often the statements of a request are sent again after their link
/// was restored without one of them getting a result.
inline constexpr int kRestoresPerStatement = 3;
/// SQL Server's error for the session it chose as a deadlock victim: the
/// batch ended and its transaction was rolled back; the statement did not
/// fail on its own account.
inline constexpr int32_t kDeadlockVictim = 1205;
/// How often a request chosen as a deadlock victim is sent again running.
inline constexpr int kDeadlockRetries = 3;

/// Runs request (which it may rebuild for the statements sent again) until
/// each statement got its result, delivering each in order. scratch is a
/// second request of the same size. Returns how it ended.
RequestEnd runRequest(ResultSource& source, Request& request, Request& scratch, const DeliverResult& deliver);

/// Whether result fits statement: a lookup wants a result set with its
/// columns, an insert a count of one, the opener a row. Returns true or false.
bool resultFits(const RequestStatement& statement, const StatementResult& result);
