#pragma once
// The five bytes that name no character in Windows-1252 (0x81, 0x8D, 0x8F,
// 0x90, 0x9D). A driver that converts the program's text to the server's
// UTF-16 cannot send them: FreeTDS fails the whole statement with a
// misleading "Memory allocation failure".

#include <cstddef>
#include <string_view>

/// True when byte c names no Windows-1252 character. Returns true or false.
inline bool isUndeliverableByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

/// The position of the first such byte in text. Returns it, or
/// std::string_view::npos when there is none.
inline size_t findUndeliverableByte(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (isUndeliverableByte(text[i])) return i;
  return std::string_view::npos;
}
