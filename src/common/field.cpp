#include "common/field.h"

#include <cstring>

size_t copyText(char* dst, size_t cap, std::string_view src) {
  if (cap == 0) return src.size();
  const size_t end = src.find('\0');
  if (end != std::string_view::npos) src = src.substr(0, end);
  const size_t n = src.size() < cap - 1 ? src.size() : cap - 1;
  if (n > 0) std::memmove(dst, src.data(), n);
  dst[n] = '\0';
  return src.size() - n;
}

size_t appendText(char* dst, size_t cap, std::string_view src) {
  if (cap == 0) return src.size();
  const size_t used = strnlen(dst, cap - 1);
  return copyText(dst + used, cap - used, src);
}
