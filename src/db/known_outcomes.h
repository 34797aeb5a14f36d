#pragma once
// Which items of a batch call got their outcome. A call answers for its items
// from the first on, up to the first whose outcome is not known: the caller
// goes on from there.

#include <cstddef>
#include <vector>

class KnownOutcomes {
 public:
  /// Makes room for count items, none known. Returns 0, or -1 when memory ran out.
  int reset(size_t count) noexcept {
    try {
      known_.assign(count, 0);
      return 0;
    } catch (...) {
      return -1;
    }
  }
  void mark(size_t item) { known_[item] = 1; }
  /// Returns how many items from the first on are known, without a gap.
  size_t leading() const {
    size_t n = 0;
    while (n < known_.size() && known_[n]) ++n;
    return n;
  }

 private:
  std::vector<unsigned char> known_;
};
