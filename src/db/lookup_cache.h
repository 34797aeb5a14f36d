#pragma once
// Answers of the master-data lookups, kept for the rest of the run. The master
// data does not change while a run lasts and each lookup is a pure function of
// its statement text, so a statement that was answered once is answered again
// from memory: with the row's values as they were taken into the fields, or
// with "no row". A failure is never kept: it may pass, and is asked again.
//
// The cache holds a bounded number of bytes. When it is full, the answer used
// least recently is forgotten first; a booking file lists the bookings of a
// day together, so the answers still wanted are the recent ones.

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

/// Most values one lookup takes into fields (the badge lookup's three).
inline constexpr int kLookupValueCount = 3;
/// Capacity of one kept value; the widest field a lookup fills holds 30.
inline constexpr size_t kLookupValueCapacity = 32;
/// Bytes the run's cache may hold: some forty thousand answers.
inline constexpr size_t kLookupCacheBudget = size_t{16} << 20;
/// Heap bytes an entry takes beside its key text and answer: the list and
/// map nodes, the map's bucket and the allocator's headers.
inline constexpr size_t kLookupEntryOverhead = 128;

/// What a lookup answered.
struct LookupAnswer {
  /// 0 for a row, SQL_NO_DATA (100) for none; nothing else is kept.
  int result;
  /// The row's values as taken into the fields, in column order, terminated;
  /// unused ones (and all of them for no row) are empty.
  char values[kLookupValueCount][kLookupValueCapacity];
};

/// Lookup answers keyed by the exact statement text, least recently used
/// forgotten first once the byte budget is reached.
class LookupCache {
 public:
  explicit LookupCache(size_t budget = kLookupCacheBudget) : budget_(budget) {}
  LookupCache(const LookupCache&) = delete;
  LookupCache& operator=(const LookupCache&) = delete;

  /// The answer kept for statement, or nullptr. A hit counts as a use. The
  /// pointer is valid until the next remember or clear.
  const LookupAnswer* find(std::string_view statement);

  /// Keeps answer for statement, replacing an older one. Returns 0, or -1
  /// when it is not kept: a result other than 0 and SQL_NO_DATA, an entry
  /// larger than the whole budget, or no memory left (the cache stays usable).
  int remember(std::string_view statement, const LookupAnswer& answer);

  /// Forgets every answer.
  void clear();

  /// Number of answers kept.
  size_t size() const { return entries_.size(); }
  /// Bytes the kept answers are counted as (never above the budget).
  size_t bytes() const { return bytes_; }

 private:
  struct Entry {
    std::string statement;
    LookupAnswer answer;
  };
  static size_t cost(std::string_view statement);
  void forget(std::list<Entry>::iterator entry);

  size_t budget_;
  size_t bytes_ = 0;
  /// Most recently used first.
  std::list<Entry> entries_;
  /// Keys view the statement texts held by entries_, whose nodes never move.
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;
};
