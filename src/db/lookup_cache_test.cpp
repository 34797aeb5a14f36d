#include "db/lookup_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "common/field.h"
#include "db/odbc.h"

namespace {
LookupAnswer row(std::string_view a, std::string_view b = "", std::string_view c = "") {
  LookupAnswer answer{};
  answer.result = 0;
  copyField(answer.values[0], a);
  copyField(answer.values[1], b);
  copyField(answer.values[2], c);
  return answer;
}

LookupAnswer noRow() {
  LookupAnswer answer{};
  answer.result = SQL_NO_DATA;
  return answer;
}

std::string badgeStatement(int badge) {
  return "SELECT AswPnr, AswLiz, AswMnd  FROM KVSYSTEM.Kvs301Asw  WHERE AswNum = '" + std::to_string(badge) + "'";
}
}  // namespace

TEST(LookupCache, AnswersRowsAndNoRowAsRemembered) {
  LookupCache cache;
  EXPECT_EQ(cache.find("SELECT 1"), nullptr);

  ASSERT_EQ(cache.remember("SELECT 1", row("00004711", "1", "7")), 0);
  ASSERT_EQ(cache.remember("SELECT 2", noRow()), 0);

  const LookupAnswer* first = cache.find("SELECT 1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->result, 0);
  EXPECT_STREQ(first->values[0], "00004711");
  EXPECT_STREQ(first->values[1], "1");
  EXPECT_STREQ(first->values[2], "7");

  const LookupAnswer* second = cache.find("SELECT 2");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->result, SQL_NO_DATA);
  EXPECT_EQ(cache.size(), 2u);
}

TEST(LookupCache, NeverKeepsAFailure) {
  LookupCache cache;
  for (int result : {-1, int{SQL_ERROR}, int{SQL_SUCCESS_WITH_INFO}, int{SQL_STILL_EXECUTING}, 1, 99, 101}) {
    LookupAnswer failed = row("x");
    failed.result = result;
    EXPECT_EQ(cache.remember("SELECT 1", failed), -1) << result;
    EXPECT_EQ(cache.find("SELECT 1"), nullptr) << result;
  }
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.bytes(), 0u);
}

TEST(LookupCache, KeyIsTheExactStatementText) {
  LookupCache cache;
  ASSERT_EQ(cache.remember(" SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234' ", row("4711")), 0);
  // A blank more or less, another case or a prefix is another question.
  EXPECT_EQ(cache.find(" SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234'"), nullptr);
  EXPECT_EQ(cache.find(" SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234'  "), nullptr);
  EXPECT_EQ(cache.find(" select KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234' "), nullptr);
  EXPECT_EQ(cache.find(" SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '123' "), nullptr);
  // The key is the text, not the caller's buffer that held it.
  std::string buffer = " SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234' ";
  ASSERT_NE(cache.find(buffer), nullptr);
  buffer[buffer.size() - 3] = '5';
  EXPECT_EQ(cache.find(buffer), nullptr);
  EXPECT_NE(cache.find(" SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '1234' "), nullptr);
}

TEST(LookupCache, KeepsACopyOfTheAnswer) {
  LookupCache cache;
  LookupAnswer answer = row("A");
  ASSERT_EQ(cache.remember("q", answer), 0);
  copyField(answer.values[0], "B");
  EXPECT_STREQ(cache.find("q")->values[0], "A");
}

TEST(LookupCache, ReplacingAnAnswerCountsItOnce) {
  LookupCache cache;
  ASSERT_EQ(cache.remember("q", row("A")), 0);
  size_t once = cache.bytes();
  ASSERT_EQ(cache.remember("q", noRow()), 0);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.bytes(), once);
  EXPECT_EQ(cache.find("q")->result, SQL_NO_DATA);
}

TEST(LookupCache, ForgetsTheLeastRecentlyUsedWhenFull) {
  // Room for exactly three entries of this key length.
  LookupCache probe;
  ASSERT_EQ(probe.remember(badgeStatement(1000), row("1")), 0);
  LookupCache cache(3 * probe.bytes());

  ASSERT_EQ(cache.remember(badgeStatement(1001), row("1")), 0);
  ASSERT_EQ(cache.remember(badgeStatement(1002), row("2")), 0);
  ASSERT_EQ(cache.remember(badgeStatement(1003), noRow()), 0);
  ASSERT_NE(cache.find(badgeStatement(1001)), nullptr);  // now the most recent

  ASSERT_EQ(cache.remember(badgeStatement(1004), row("4")), 0);
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.find(badgeStatement(1002)), nullptr);  // the least recently used went
  ASSERT_NE(cache.find(badgeStatement(1001)), nullptr);
  EXPECT_STREQ(cache.find(badgeStatement(1001))->values[0], "1");
  EXPECT_NE(cache.find(badgeStatement(1003)), nullptr);
  EXPECT_NE(cache.find(badgeStatement(1004)), nullptr);
  EXPECT_LE(cache.bytes(), 3 * probe.bytes());
}

TEST(LookupCache, StaysWithinItsBudgetForAnyNumberOfQuestions) {
  constexpr size_t budget = 64 * 1024;
  LookupCache cache(budget);
  size_t largest = 0;
  for (int i = 0; i < 200000; ++i) {
    ASSERT_EQ(cache.remember(badgeStatement(i), i % 7 == 0 ? noRow() : row(std::to_string(i))), 0);
    ASSERT_LE(cache.bytes(), budget);
    largest = std::max(largest, cache.size());
  }
  EXPECT_LT(largest, 200u);  // some 300 bytes an entry: a bounded few hundred
  // The newest answers are the ones still there.
  ASSERT_NE(cache.find(badgeStatement(199999)), nullptr);
  EXPECT_STREQ(cache.find(badgeStatement(199999))->values[0], "199999");
  EXPECT_EQ(cache.find(badgeStatement(0)), nullptr);
}

TEST(LookupCache, RefusesAnEntryLargerThanTheWholeBudget) {
  LookupCache probe;
  ASSERT_EQ(probe.remember("small", noRow()), 0);
  LookupCache cache(probe.bytes());
  ASSERT_EQ(cache.remember("small", noRow()), 0);  // exactly the budget
  EXPECT_EQ(cache.remember("larger", row("1")), -1);
  EXPECT_EQ(cache.find("larger"), nullptr);
  // A refused entry does not push out what is there.
  EXPECT_NE(cache.find("small"), nullptr);
  EXPECT_EQ(cache.bytes(), probe.bytes());
}

TEST(LookupCache, ClearForgetsEverything) {
  LookupCache cache;
  ASSERT_EQ(cache.remember("a", row("1")), 0);
  ASSERT_EQ(cache.remember("b", noRow()), 0);
  cache.clear();
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.bytes(), 0u);
  EXPECT_EQ(cache.find("a"), nullptr);
  EXPECT_EQ(cache.remember("a", row("2")), 0);
  EXPECT_STREQ(cache.find("a")->values[0], "2");
}
