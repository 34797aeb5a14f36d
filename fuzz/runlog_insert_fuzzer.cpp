// The run-log INSERT on arbitrary record texts: whatever the texts hold
// (apostrophes above all), the statement fits the statement buffer, its
// structure is that of a record with empty texts, each literal reads back as
// its field or, where the statement had to be shortened, as a start of it,
// and the long texts are given up before any other. The statement is read
// back with the test database's T-SQL tokenizer.

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/cp1252.h"
#include "common/field.h"
#include "db/statement.h"
#include "fuzz_support.h"
#include "db/runlog_insert_text.h"
#include "tsql/tsql_lexer.h"

namespace {
using testdb::Token;
using testdb::TokenKind;

/// The record's texts in the order of the statement's literals; the date
/// literal between LogPnr and LogMod is not a text of the record.
enum Text { kPrg, kStz, kPrm, kSch, kPnr, kMod, kFkt, kTTxt, kSTxt, kMsg, kTextCount };

std::vector<std::string_view> texts(const RunLogRecord& r) {
  return {fieldView(r.LogPrg), fieldView(r.LogStz), fieldView(r.LogPrm), fieldView(r.LogSch),
          fieldView(r.LogPnr), fieldView(r.LogMod), fieldView(r.LogFkt), fieldView(r.LogTTxt),
          fieldView(r.LogSTxt), fieldView(r.LogMsg)};
}

/// Fills the record from lines of the input: one line per text in the
/// statement's order, then a line of four numbers for the integer fields.
RunLogRecord recordFrom(std::string_view input) {
  std::vector<std::string> lines;
  while (!input.empty() && lines.size() <= kTextCount) {
    const size_t end = input.find('\n');
    lines.emplace_back(input.substr(0, end));
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  }
  lines.resize(kTextCount + 1);
  RunLogRecord r{};
  copyField(r.LogPrg, lines[kPrg]);
  copyField(r.LogStz, lines[kStz]);
  copyField(r.LogPrm, lines[kPrm]);
  copyField(r.LogSch, lines[kSch]);
  copyField(r.LogPnr, lines[kPnr]);
  copyField(r.LogMod, lines[kMod]);
  copyField(r.LogFkt, lines[kFkt]);
  copyField(r.LogTTxt, lines[kTTxt]);
  copyField(r.LogSTxt, lines[kSTxt]);
  copyField(r.LogMsg, lines[kMsg]);
  const char* numbers = lines[kTextCount].c_str();
  char* end = nullptr;
  int32_t* ints[] = {&r.LogDtm, &r.LogTErr, &r.LogSErr, &r.LogTyp};
  for (int32_t* field : ints) {
    *field = static_cast<int32_t>(std::strtoll(numbers, &end, 10));
    numbers = end;
  }
  return r;
}

std::vector<Token> tokensOf(const std::string& statement) {
  std::vector<Token> tokens;
  testdb::ServerError error;
  require(testdb::tokenize(statement, tokens, error), "the statement tokenizes");
  return tokens;
}

size_t escapedLength(std::string_view text) {
  size_t n = text.size();
  for (char c : text) n += c == '\'';
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RunLogRecord record = recordFrom(std::string_view(reinterpret_cast<const char*>(data), size));
  char statement[kStatementCapacity];
  require(formatRunLogInsert(record, statement, sizeof statement) == 0, "every record gives a statement");
  require(fieldView(statement).size() < sizeof statement, "the statement fits its buffer");
  require(findUndeliverableByte(fieldView(statement)) == std::string_view::npos, "no byte a driver cannot send");

  RunLogRecord empty{};
  empty.LogDtm = record.LogDtm;
  empty.LogTErr = record.LogTErr;
  empty.LogSErr = record.LogSErr;
  empty.LogTyp = record.LogTyp;
  char skeleton[kStatementCapacity];
  require(formatRunLogInsert(empty, skeleton, sizeof skeleton) == 0, "the empty record gives a statement");

  // Same tokens outside the literals: no text can end a literal early.
  const std::vector<Token> got = tokensOf(statement);
  const std::vector<Token> shape = tokensOf(skeleton);
  require(got.size() == shape.size(), "as many tokens as with empty texts");
  std::vector<std::string> literals;
  for (size_t i = 0; i < got.size(); ++i) {
    require(got[i].kind == shape[i].kind, "same token kinds as with empty texts");
    if (got[i].kind == TokenKind::String)
      literals.push_back(got[i].text);
    else
      require(got[i].text == shape[i].text, "same words, numbers and symbols as with empty texts");
  }
  require(literals.size() == kTextCount + 1, "one literal per text and the date");
  literals.erase(literals.begin() + kMod);  // the date, "20YYMMDD" as a number
  const std::vector<std::string_view> whole = texts(record);
  bool cut = false;
  bool otherCut = false;
  for (int i = 0; i < kTextCount; ++i) {
    // A byte no driver can send travels as '?', as the server stores a
    // character outside its code page.
    std::string sent(whole[i]);
    for (char& c : sent)
      if (isUndeliverableByte(c)) c = '?';
    require(sent.substr(0, literals[i].size()) == literals[i], "each literal is its text or a start of it");
    if (literals[i].size() == whole[i].size()) continue;
    cut = true;
    if (i != kTTxt && i != kSTxt && i != kPrm) otherCut = true;
  }
  if (otherCut)
    require(literals[kTTxt].empty() && literals[kSTxt].empty() && literals[kPrm].empty(),
            "the long texts are given up before any other");
  if (cut) {
    size_t full = fieldView(skeleton).size();
    for (std::string_view text : whole) full += escapedLength(text);
    require(full >= sizeof statement, "texts are only shortened when the whole statement would not fit");
  }
  return 0;
}
