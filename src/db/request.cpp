#include "db/request.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kSeparatorLength = sizeof kStatementSeparator - 1;
}  // namespace

Request::Request(size_t maxStatements, size_t capacity) : maxStatements_(maxStatements), capacity_(capacity) {
  // The buffer is had once for the run; a failure here is the caller's
  // bad_alloc, caught where the Database is made.
  buffer_.resize(capacity_ + 1);
  statements_.reserve(maxStatements);
}

int Request::add(StatementKind kind, int columns, size_t item, int limit, const char* format, ...) {
  if (full()) return 1;
  const size_t free = capacity_ - used_;
  char* at = buffer_.data() + used_;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(at, free, format, args);
  va_end(args);
  if (n < 0 || n >= limit) {
    *at = '\0';
    return -1;  // a cut statement would be another statement
  }
  if (static_cast<size_t>(n) + kSeparatorLength >= free) {
    *at = '\0';
    return 1;
  }
  return take(static_cast<size_t>(n), kind, columns, item);
}

char* Request::room(size_t cap) {
  if (full() || used_ + cap + kSeparatorLength > capacity_) return nullptr;
  return buffer_.data() + used_;
}

int Request::commit(StatementKind kind, int columns, size_t item) {
  if (full()) return -1;
  return take(std::strlen(buffer_.data() + used_), kind, columns, item);
}

int Request::take(size_t length, StatementKind kind, int columns, size_t item) {
  if (used_ + length + kSeparatorLength > capacity_) return 1;
  statements_.push_back(RequestStatement{used_, length, kind, columns, item});
  used_ += length;
  std::memcpy(buffer_.data() + used_, kStatementSeparator, kSeparatorLength);
  used_ += kSeparatorLength;
  buffer_[used_] = '\0';
  return 0;
}

int Request::copy(const Request& from, const RequestStatement& s) {
  if (full() || used_ + s.length + kSeparatorLength > capacity_) return 1;
  std::memcpy(buffer_.data() + used_, from.buffer_.data() + s.offset, s.length);
  return take(s.length, s.kind, s.columns, s.item);
}

void Request::dropLast() {
  if (statements_.empty()) return;
  used_ = statements_.back().offset;
  buffer_[used_] = '\0';
  statements_.pop_back();
}

void Request::clear() {
  statements_.clear();
  used_ = 0;
  buffer_[0] = '\0';
}

std::string_view Request::text() const {
  return {buffer_.data(), used_ >= kSeparatorLength ? used_ - kSeparatorLength : 0};
}

bool Request::holds(StatementKind kind) const {
  for (const RequestStatement& s : statements_)
    if (s.kind == kind) return true;
  return false;
}
