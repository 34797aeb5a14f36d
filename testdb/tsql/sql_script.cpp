#include "tsql/sql_script.h"

namespace testdb {
namespace {

// True when text holds something besides blanks and comments.
bool hasContent(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (text.compare(i, 2, "--") == 0) {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (text.compare(i, 2, "/*") == 0) {
      size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      return true;
    }
  }
  return false;
}

// True when the line [start, end) is GO alone (blanks around it allowed).
bool isGoLine(std::string_view script, size_t start, size_t end) {
  while (start < end && (script[start] == ' ' || script[start] == '\t')) ++start;
  while (end > start && (script[end - 1] == ' ' || script[end - 1] == '\t' || script[end - 1] == '\r')) --end;
  return end - start == 2 && (script[start] == 'g' || script[start] == 'G') &&
         (script[start + 1] == 'o' || script[start + 1] == 'O');
}

}  // namespace

std::vector<std::string> splitScript(std::string_view script) {
  std::vector<std::string> out;
  std::string current;
  auto finish = [&]() {
    if (hasContent(current)) out.push_back(current);
    current.clear();
  };
  size_t i = 0;
  bool lineStart = true;
  while (i < script.size()) {
    char c = script[i];
    if (lineStart) {
      size_t eol = script.find('\n', i);
      if (eol == std::string_view::npos) eol = script.size();
      if (isGoLine(script, i, eol)) {
        finish();
        i = eol < script.size() ? eol + 1 : eol;
        continue;
      }
    }
    lineStart = false;
    if (c == '\'' || c == '"' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < script.size()) {
        if (script[j] == close) {
          if (j + 1 < script.size() && script[j + 1] == close) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      size_t end = j < script.size() ? j + 1 : j;
      current.append(script.substr(i, end - i));
      for (size_t k = i; k < end; ++k) {
        if (script[k] == '\n') lineStart = false;
      }
      i = end;
      continue;
    }
    if (script.compare(i, 2, "--") == 0) {
      size_t eol = script.find('\n', i);
      if (eol == std::string_view::npos) eol = script.size();
      current.append(script.substr(i, eol - i));
      i = eol;
      continue;
    }
    if (script.compare(i, 2, "/*") == 0) {
      size_t end = script.find("*/", i + 2);
      end = end == std::string_view::npos ? script.size() : end + 2;
      current.append(script.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == ';') {
      finish();
      ++i;
      continue;
    }
    current += c;
    if (c == '\n') lineStart = true;
    ++i;
  }
  finish();
  return out;
}

}  // namespace testdb
