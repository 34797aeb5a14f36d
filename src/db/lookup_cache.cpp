#include "db/lookup_cache.h"

#include <new>

#include "db/odbc.h"

size_t LookupCache::cost(std::string_view statement) {
  return statement.size() + sizeof(Entry) + kLookupEntryOverhead;
}

const LookupAnswer* LookupCache::find(std::string_view statement) {
  auto found = index_.find(statement);
  if (found == index_.end()) return nullptr;
  // Moving the node to the front keeps its address and the key's text.
  entries_.splice(entries_.begin(), entries_, found->second);
  return &found->second->answer;
}

void LookupCache::forget(std::list<Entry>::iterator entry) {
  index_.erase(std::string_view(entry->statement));
  bytes_ -= cost(entry->statement);
  entries_.erase(entry);
}

int LookupCache::remember(std::string_view statement, const LookupAnswer& answer) {
  if (answer.result != 0 && answer.result != SQL_NO_DATA) return -1;
  if (auto old = index_.find(statement); old != index_.end()) forget(old->second);
  size_t need = cost(statement);
  if (need > budget_) return -1;
  while (bytes_ + need > budget_) forget(std::prev(entries_.end()));
  // Running out of memory must not end the run: the answer is then simply
  // not kept, and the cache holds what it held before.
  try {
    entries_.push_front(Entry{std::string(statement), answer});
  } catch (const std::bad_alloc&) {
    return -1;
  }
  try {
    index_.emplace(std::string_view(entries_.front().statement), entries_.begin());
  } catch (const std::bad_alloc&) {
    entries_.pop_front();
    return -1;
  }
  bytes_ += need;
  return 0;
}

void LookupCache::clear() {
  index_.clear();
  entries_.clear();
  bytes_ = 0;
}
