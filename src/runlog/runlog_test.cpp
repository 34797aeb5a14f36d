#include "runlog/runlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(LogInit, ProgramNameIsWhatFollowsTheLastBackslash) {
  RunLogRecord r;
  const char* withPath[] = {"C:\\Programme\\KV\\dulmar.exe", "a", "b", "c"};
  logInit(4, withPath, "DULMAR", r);
  EXPECT_STREQ(r.LogPrg, "dulmar.exe");
  const char* bare[] = {"dulmar", "a", "b", "c"};
  logInit(4, bare, "DULMAR", r);
  EXPECT_STREQ(r.LogPrg, "");
  const char* slashes[] = {"/usr/local/bin/dulmar", "a", "b", "c"};
  logInit(4, slashes, "DULMAR", r);
  EXPECT_STREQ(r.LogPrg, "");  // a forward slash does not separate
}

TEST(LogInit, ArgumentsJoinedByOneBlankUnquoted) {
  RunLogRecord r;
  const char* three[] = {"x\\dulmar.exe", "a", "b", "c"};
  logInit(4, three, "DULMAR", r);
  EXPECT_STREQ(r.LogPrm, "a b c");
  const char* four[] = {"x\\dulmar.exe", "k.ini", "my bookings.txt", "p.txt", "KSW2"};
  logInit(5, four, "DULMAR", r);
  EXPECT_STREQ(r.LogPrm, "k.ini my bookings.txt p.txt KSW2");
  EXPECT_STREQ(r.LogMod, "DULMAR");
  EXPECT_STREQ(r.LogSch, "");
  EXPECT_EQ(r.LogTyp, 0);
}

TEST(LogInit, StartStampIs14Digits) {
  RunLogRecord r;
  const char* argv[] = {"dulmar", "a", "b", "c"};
  logInit(4, argv, "DULMAR", r);
  ASSERT_EQ(std::strlen(r.LogStz), 14u);
  for (char c : std::string(r.LogStz)) EXPECT_TRUE(c >= '0' && c <= '9');
  EXPECT_EQ(std::string(r.LogStz).substr(0, 2), "20");
}

TEST(LogInit, OverlongValuesAreCutToTheirFields) {
  RunLogRecord r;
  std::string longName = "C:\\" + std::string(40, 'p') + ".exe";
  std::string longArg(200, 'a');
  const char* argv[] = {longName.c_str(), longArg.c_str(), "b", "c"};
  logInit(4, argv, "MODULE-ID-TOO-LONG", r);
  EXPECT_EQ(std::string(r.LogPrg), std::string(40, 'p').substr(0, 30));
  EXPECT_EQ(std::string(r.LogPrm), longArg.substr(0, 150));
  EXPECT_STREQ(r.LogMod, "MODULE-ID-");
}
