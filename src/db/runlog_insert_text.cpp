#include "db/runlog_insert_text.h"

#include <cstdio>
#include <string_view>

#include "common/field.h"
#include "db/statement.h"
#include "db/statements.h"

namespace {
/// The texts of the row that go between apostrophes, in the order they are
/// given up when the statement is too long: the first three are shortened
/// before any other is touched.
enum Literal { kTTxt, kSTxt, kPrm, kMsg, kFkt, kPrg, kPnr, kMod, kStz, kSch, kLiteralCount };
constexpr int kFirstToShorten = 3;

/// Capacity of the longest field (256 characters) with every character doubled.
constexpr size_t kEscapedCapacity = 2 * sizeof RunLogRecord::LogTTxt + 1;

int formatWith(const char* const (&v)[kLiteralCount], const RunLogRecord& r, char* dst, size_t cap) {
  return std::snprintf(dst, cap, kRunLogInsertStatement, v[kPrg], v[kStz], v[kPrm], v[kSch], v[kPnr],
                       static_cast<long>(r.LogDtm), v[kMod], v[kFkt], static_cast<long>(r.LogTErr), v[kTTxt],
                       static_cast<long>(r.LogSErr), v[kSTxt], v[kMsg], static_cast<long>(r.LogTyp));
}

/// Index of the longest escaped text among [from, to), or -1 when all are empty.
int longest(const size_t (&escapedLength)[kLiteralCount], int from, int to) {
  int best = -1;
  for (int i = from; i < to; ++i)
    if (escapedLength[i] > 0 && (best < 0 || escapedLength[i] > escapedLength[best])) best = i;
  return best;
}
}  // namespace

int formatRunLogInsert(const RunLogRecord& r, char* dst, size_t cap) {
  std::string_view source[kLiteralCount];
  source[kTTxt] = fieldView(r.LogTTxt);
  source[kSTxt] = fieldView(r.LogSTxt);
  source[kPrm] = fieldView(r.LogPrm);
  source[kMsg] = fieldView(r.LogMsg);
  source[kFkt] = fieldView(r.LogFkt);
  source[kPrg] = fieldView(r.LogPrg);
  source[kPnr] = fieldView(r.LogPnr);
  source[kMod] = fieldView(r.LogMod);
  source[kStz] = fieldView(r.LogStz);
  source[kSch] = fieldView(r.LogSch);

  char escaped[kLiteralCount][kEscapedCapacity];
  const char* text[kLiteralCount];
  size_t escapedLength[kLiteralCount];
  for (int i = 0; i < kLiteralCount; ++i) {
    text[i] = escaped[i];
    // As SQL Server stores a character outside the column's code page.
    escapeSqlText(source[i], escaped[i], sizeof escaped[i], '?');
    escapedLength[i] = std::string_view(escaped[i]).size();
  }
  // Each round cuts the longest candidate text by at least the excess, at a
  // character of the source, so a doubled apostrophe is never split in two.
  for (;;) {
    int n = formatWith(text, r, dst, cap);
    if (n < 0) break;
    if (static_cast<size_t>(n) < cap) return 0;
    size_t excess = static_cast<size_t>(n) - (cap - 1);
    int victim = longest(escapedLength, 0, kFirstToShorten);
    if (victim < 0) victim = longest(escapedLength, kFirstToShorten, kLiteralCount);
    if (victim < 0) break;
    // Cut characters from the end until their escaped form makes up the
    // excess: an apostrophe counts twice, so a text of them loses only what
    // it must.
    std::string_view& s = source[victim];
    for (size_t removed = 0; removed < excess && !s.empty(); s.remove_suffix(1)) removed += s.back() == '\'' ? 2 : 1;
    escapeSqlText(s, escaped[victim], sizeof escaped[victim], '?');
    escapedLength[victim] = std::string_view(escaped[victim]).size();
  }
  if (cap > 0) dst[0] = '\0';
  return -1;
}
