#include "ini_edit.h"

#include <cstring>

namespace {
/// Characters of a first line, and of a second line, as the reader reads them.
constexpr size_t kFirstLineChars = kIniFirstLineCapacity - 1;
constexpr size_t kSecondLineChars = kIniSecondLineCapacity - 2;

/// The two lines dulmar-ini writes for key.
std::string newPair(const char* key, const char* cipherHex) {
  return std::string(";") + kIniWrittenSection + ";\r\n" + kIniWrittenNumber +
         ";" + key + ";" + cipherHex + "\r\n";
}
}  // namespace

ReaderLayout readerLayout(std::string_view raw) {
  ReaderLayout layout;
  layout.inputEnd = raw.find('\x1A');
  if (layout.inputEnd == std::string_view::npos) layout.inputEnd = raw.size();
  size_t pos = 0;
  while (pos < layout.inputEnd) {
    const size_t cap =
        layout.lines.size() % 2 == 0 ? kFirstLineChars : kSecondLineChars;
    ReaderLine line{pos, pos, {}};
    while (line.text.size() < cap && pos < layout.inputEnd) {
      const char c = raw[pos];
      // A CR only goes when an LF follows before the input ends.
      if (c == '\r' && pos + 1 < layout.inputEnd && raw[pos + 1] == '\n') {
        line.text += '\n';
        pos += 2;
        break;
      }
      line.text += c;
      ++pos;
      if (c == '\n') break;
    }
    line.end = pos;
    layout.lines.push_back(std::move(line));
  }
  return layout;
}

int findAnsweringPair(const ReaderLayout& layout, const char* key, SettingsPair& pair) {
  for (size_t i = 0; i + 1 < layout.lines.size(); i += 2) {
    parseSettingsPair(layout.lines[i].text.c_str(), layout.lines[i + 1].text.c_str(), pair);
    if (answersRequest(pair, key)) return static_cast<int>(i / 2);
  }
  pair = SettingsPair{};
  return -1;
}

const char* settingValueProblem(std::string_view value) {
  if (value.size() > kIniMaxValueLength)
    return "the value is longer than 96 characters, more than a settings "
           "field holds";
  if (value.find('\0') != std::string_view::npos)
    return "the value holds a zero byte, which would end it early";
  if (value.find_first_of("\r\n") != std::string_view::npos)
    return "the value holds a line end, which a settings line cannot carry";
  return nullptr;
}

const char* keyNameProblem(std::string_view key) {
  if (key.empty()) return "the key name is empty";
  if (key.size() > kIniMaxKeyLength)
    return "the key name is longer than 200 characters";
  if (key.find_first_of(std::string_view(";\r\n\0", 4)) != std::string_view::npos)
    return "the key name holds a \";\", a zero byte or a line end";
  return nullptr;
}

std::string withSetting(std::string_view raw, const char* key, const char* cipherHex) {
  const ReaderLayout layout = readerLayout(raw);
  SettingsPair pair;
  const int answering = findAnsweringPair(layout, key, pair);
  std::string out;

  if (answering < 0) {
    // After the last pair: in front of a last line without partner, and of
    // whatever follows a 0x1A, which the reader never sees.
    const size_t pairs = layout.lines.size() / 2;
    const ReaderLine* last = pairs > 0 ? &layout.lines[2 * pairs - 1] : nullptr;
    const size_t at = last != nullptr ? last->end : 0;
    out.assign(raw.substr(0, at));
    // A last line that ended with the input and not at its length limit gets
    // a line end, or the new pair would run on from it.
    if (last != nullptr && last->text.back() != '\n' &&
        last->text.size() < kSecondLineChars)
      out += "\r\n";
    out += newPair(key, cipherHex);
    out.append(raw.substr(at));
    return out;
  }

  const ReaderLine& first = layout.lines[2 * static_cast<size_t>(answering)];
  const ReaderLine& second = layout.lines[2 * static_cast<size_t>(answering) + 1];
  out.assign(raw.substr(0, first.begin));
  if (std::strcmp(pair.key, key) != 0) {
    // Another pair answers first (empty section or number 0): ours goes
    // in front of it, and it keeps answering the requests it answered.
    out += newPair(key, cipherHex);
    out.append(raw.substr(first.begin));
  } else if (pair.section[0] != '\0' && pair.number != 0) {
    // The pair of key answers by its key alone: only its value changes.
    // Up to the second separator the line's bytes are its text unchanged.
    const int32_t q2 = strPos(second.text.c_str(), ';', 2);
    out.append(raw.substr(first.begin, second.begin + static_cast<size_t>(q2) + 1 - first.begin));
    out += cipherHex;
    out += "\r\n";
    out.append(raw.substr(second.end));
  } else {
    // The pair of key answers every request; written anew it answers only
    // its own.
    out += newPair(key, cipherHex);
    out.append(raw.substr(second.end));
  }
  return out;
}
