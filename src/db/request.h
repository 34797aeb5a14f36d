#pragma once
// One request to the server: the texts of several statements, each formatted
// straight into one buffer under its own limit, and where each one lies in it.
// Statements are separated by ";\n", so the server and a trace both see where
// one ends; the separator is never part of a statement's text, and a request
// of one statement is that statement alone, as it was always sent.

#include <cstddef>
#include <string_view>
#include <vector>

/// Bytes of statement text one request may hold (the wire carries twice as
/// many: the text travels as UTF-16).
inline constexpr size_t kRequestCapacity = size_t{256} << 10;
/// What separates the statements of a request.
inline constexpr char kStatementSeparator[] = ";\n";

/// What a statement of a request is, which says what its result must be.
enum class StatementKind {
  /// A constant query that cannot fail; its one row says the request ran.
  Opener,
  /// A lookup: a result set, of which the first row counts.
  Lookup,
  /// An INSERT of one row: a count of exactly one.
  Insert,
  /// Opens or ends the transaction of a request: no result of its own, only
  /// a failure.
  Frame,
  /// The constant query after the commit whose row says the commit completed.
  Proof,
};

/// Where one statement lies in its request and what it is for.
struct RequestStatement {
  size_t offset;
  size_t length;
  StatementKind kind;
  /// Columns a lookup takes from its row (0 for the rest).
  int columns;
  /// The caller's number for it: what its outcome belongs to.
  size_t item;
};

/// The constant query that opens a request whose later outcomes must be read.
inline constexpr char kOpenerStatement[] = "SELECT 1";

/// Bytes a request needs beyond its statements for the frame of its
/// transaction (opener, begin, commit, proof and their separators).
inline constexpr size_t kTransactionFrameCapacity = 128;

/// A request being built.
class Request {
 public:
  /// Makes a request that holds at most maxStatements statements and
  /// capacity bytes of text.
  explicit Request(size_t maxStatements, size_t capacity = kRequestCapacity);

  /// Formats a statement at the end, refused when it would be limit
  /// characters or longer. Returns 0; -1 when refused (the request is as it
  /// was); 1 when the request has no room left for it (send it first).
  int add(StatementKind kind, int columns, size_t item, int limit, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 6, 7)))
#endif
      ;

  /// The room at the end for a statement a formatter writes itself (at most
  /// cap bytes, terminated). Returns the place, or nullptr when the request
  /// has no room for cap bytes (send it first).
  char* room(size_t cap);
  /// Takes the text a formatter wrote into room() as the next statement.
  /// Returns 0, or -1 when the request was full.
  int commit(StatementKind kind, int columns, size_t item);

  /// Appends a statement of another request. Returns 0, or 1 when full.
  int copy(const Request& from, const RequestStatement& statement);

  /// Forgets the last statement (one answered without asking).
  void dropLast();
  /// Forgets every statement.
  void clear();

  /// The text of one statement.
  std::string_view text(const RequestStatement& s) const { return {buffer_.data() + s.offset, s.length}; }
  /// The whole text to send: the statements with a separator between them.
  std::string_view text() const;
  const std::vector<RequestStatement>& statements() const { return statements_; }
  /// Whether a statement of that kind is in it.
  bool holds(StatementKind kind) const;
  /// Whether another statement may be added.
  bool full() const { return statements_.size() >= maxStatements_; }
  bool empty() const { return statements_.empty(); }

 private:
  int take(size_t length, StatementKind kind, int columns, size_t item);

  size_t maxStatements_;
  size_t capacity_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  std::vector<RequestStatement> statements_;
};
