#pragma once
// Text between the engine and the wire: the engine keeps Windows-1252 bytes,
// TDS carries names, messages and batch text as UTF-16LE.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testdb::tds {

/// The Unicode code point of a Windows-1252 byte.
char16_t unicodeOf(unsigned char c);

/// The Windows-1252 byte of a UTF-16 code unit, or '?' when the code page lacks it.
char windows1252Of(char16_t u);

/// Decodes UTF-16LE bytes to Windows-1252 (one '?' per code unit the code page
/// lacks). Returns 0, or -1 for an odd number of bytes.
int decodeUtf16(std::span<const uint8_t> bytes, std::string& out);

/// Appends text (Windows-1252) as UTF-16LE to out.
void appendUtf16(std::string_view text, std::vector<uint8_t>& out);

}  // namespace testdb::tds
