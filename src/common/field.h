#pragma once
// Fixed-capacity, zero-terminated text fields. Every copy into such a field
// goes through these helpers, so nothing is ever written past a field and a
// field is always terminated.

#include <cstddef>
#include <string_view>

/// Copies at most cap-1 bytes of src (up to its first zero byte) into dst and
/// terminates it. Returns the number of bytes of src that did not fit (0 when
/// the whole text was copied).
size_t copyText(char* dst, size_t cap, std::string_view src);

/// copyText into a fixed char array; the capacity comes from the array itself.
template <size_t N>
size_t copyField(char (&dst)[N], std::string_view src) {
  return copyText(dst, N, src);
}

/// The text of a fixed field up to its terminator (or its whole capacity when
/// a terminator is missing, which never reads past the field).
template <size_t N>
std::string_view fieldView(const char (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return std::string_view(field, n);
}

/// Appends src to the zero-terminated text in dst (capacity cap), cutting it at
/// the capacity. Returns the number of bytes that did not fit.
size_t appendText(char* dst, size_t cap, std::string_view src);
