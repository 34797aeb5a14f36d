#include "db/runlog_insert_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/field.h"
#include "db/statement.h"
#include "db/statements.h"

namespace {
RunLogRecord sampleRecord() {
  RunLogRecord r{};
  copyField(r.LogPrg, "dulmar.exe");
  copyField(r.LogStz, "20261208171500");
  copyField(r.LogPrm, "k.ini b.txt p.txt");
  copyField(r.LogMod, "DULMAR");
  copyField(r.LogPnr, "4711");
  r.LogDtm = 20070125;
  copyField(r.LogFkt, "SQLInsertKvs321Bch");
  r.LogTErr = 1065;
  copyField(r.LogTTxt, "Buchung nicht gespeichert");
  r.LogSErr = 2627;
  copyField(r.LogSTxt, "Violation of PRIMARY KEY constraint \"PK\".");
  copyField(r.LogMsg, "Kvs321Bch");
  r.LogTyp = 1;
  return r;
}

/// Counts the apostrophes outside doubled pairs: an even count means every
/// literal is closed where the statement means it to be.
bool literalsBalanced(const std::string& s) {
  int quotes = 0;
  for (char c : s) quotes += c == '\'';
  return quotes % 2 == 0;
}
}  // namespace

TEST(RunLogInsertText, ExactStatementForAPlainRecord) {
  char buf[kStatementCapacity];
  RunLogRecord r = sampleRecord();
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  // Written out as the server receives it, blanks included.
  EXPECT_EQ(std::string(buf),
            "INSERT INTO KvSystem.Kvs001Log  (LogPrg, LogStz, LogPrm, LogSch,   LogPnr, LogDtm, LogMod, LogFkt,   "
            "LogTErr, LogTTxt, LogSErr, LogSTxt,   LogMsg, LogTyp, LogDat)  VALUES    ('dulmar.exe', "
            "'20261208171500', 'k.ini b.txt p.txt', '',     '4711', convert(DATETIME,'20070125', 112), 'DULMAR', "
            "'SQLInsertKvs321Bch',     1065, 'Buchung nicht gespeichert', 2627, "
            "'Violation of PRIMARY KEY constraint \"PK\".',     'Kvs321Bch', 1, CURRENT_TIMESTAMP) ");
  // A byte no driver can send becomes ?, as the server stores a character
  // outside the column's code page; the row is still written.
  copyField(r.LogPrm, "k\x81.ini");
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  EXPECT_NE(std::string(buf).find("'k?.ini'"), std::string::npos);
}

TEST(RunLogInsertText, ApostrophesInEveryTextAreDoubled) {
  char buf[kStatementCapacity];
  RunLogRecord r = sampleRecord();
  copyField(r.LogPrm, "it's a b");
  copyField(r.LogPnr, "O'1");
  copyField(r.LogTTxt, "can't");
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  std::string s(buf);
  EXPECT_NE(s.find("'it''s a b'"), std::string::npos);
  EXPECT_NE(s.find("'O''1'"), std::string::npos);
  EXPECT_NE(s.find("'can''t'"), std::string::npos);
  EXPECT_TRUE(literalsBalanced(s));
}

TEST(RunLogInsertText, LongTextsAreShortenedLongestFirstAndNeverOverrun) {
  char buf[kStatementCapacity];
  RunLogRecord r = sampleRecord();
  copyField(r.LogTTxt, std::string(256, 'T'));
  copyField(r.LogSTxt, std::string(256, 'S'));
  copyField(r.LogPrm, std::string(150, '\''));  // doubles to 300
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  std::string s(buf);
  EXPECT_LT(s.size(), sizeof buf);
  EXPECT_TRUE(literalsBalanced(s));
  EXPECT_NE(s.find("CURRENT_TIMESTAMP) "), std::string::npos);  // the statement is whole
  // Untouched: the short texts and the numbers.
  EXPECT_NE(s.find("'SQLInsertKvs321Bch'"), std::string::npos);
  EXPECT_NE(s.find("'Kvs321Bch', 1, CURRENT"), std::string::npos);
}

TEST(RunLogInsertText, AnApostropheTextLosesOnlyWhatTheStatementCannotHold) {
  char buf[kStatementCapacity];
  RunLogRecord r = sampleRecord();
  copyField(r.LogTTxt, std::string(256, '\''));  // doubles to 512
  copyField(r.LogSTxt, std::string(200, 'S'));
  copyField(r.LogPrm, std::string(150, 'P'));
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  std::string s(buf);
  // Exactly full or one short (a doubled apostrophe is never split).
  EXPECT_GE(s.size(), sizeof buf - 2);
  EXPECT_LT(s.size(), sizeof buf);
  EXPECT_TRUE(literalsBalanced(s));
  EXPECT_NE(s.find(std::string(150, 'P')), std::string::npos);  // the shorter texts are whole
  EXPECT_NE(s.find(std::string(200, 'S')), std::string::npos);
}

TEST(RunLogInsertText, EverythingAtItsLongestStillFits) {
  char buf[kStatementCapacity];
  RunLogRecord r{};
  copyField(r.LogPrg, std::string(30, '\''));
  copyField(r.LogStz, "20261208171500");
  copyField(r.LogPrm, std::string(150, '\''));
  copyField(r.LogPnr, std::string(10, '\''));
  copyField(r.LogMod, std::string(10, '\''));
  copyField(r.LogFkt, std::string(50, '\''));
  copyField(r.LogTTxt, std::string(256, '\''));
  copyField(r.LogSTxt, std::string(256, 'x'));
  copyField(r.LogMsg, std::string(256, '\''));
  r.LogDtm = -2147483647 - 1;
  r.LogTErr = -2147483647 - 1;
  r.LogSErr = -2147483647 - 1;
  ASSERT_EQ(formatRunLogInsert(r, buf, sizeof buf), 0);
  std::string s(buf);
  EXPECT_LT(s.size(), sizeof buf);
  EXPECT_TRUE(literalsBalanced(s));
  EXPECT_NE(s.find("CURRENT_TIMESTAMP) "), std::string::npos);
}

TEST(RunLogInsertText, TooSmallABufferIsRefused) {
  char buf[100];
  RunLogRecord r = sampleRecord();
  EXPECT_EQ(formatRunLogInsert(r, buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "");
}
