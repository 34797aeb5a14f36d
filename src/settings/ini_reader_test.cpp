#include "settings/ini_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "common/field.h"
#include "settings/settings_test_files.h"

namespace {
struct Pair {
  std::string section;
  std::string key;
  int32_t number;
  std::string value;
};

Pair asPair(const SettingsPair& p) { return {p.section, p.key, p.number, p.value}; }

Pair parse(const std::string& first, const std::string& second) {
  SettingsPair pair;
  parseSettingsPair(first.c_str(), second.c_str(), pair);
  return asPair(pair);
}

/// The pair the run's request for key meets in a file with the given bytes.
Pair lookUpPair(const std::string& bytes, const char* key) {
  TempSettingsFile file(bytes);
  SettingsPair pair;
  readSettingsPair(file.c_str(), key, pair);
  return asPair(pair);
}

/// What the run reads for key from a file with the given bytes.
std::string lookUp(const std::string& bytes, const char* key) { return lookUpPair(bytes, key).value; }

/// A pair that only a request for key answers: section and non-zero number.
std::string pairFor(const std::string& key, const std::string& plain, int number = 1,
                    const char* lineEnd = "\r\n") {
  return ";KVS;" + std::string(lineEnd) + std::to_string(number) + ";" + key + ";" +
         cipherHex(plain) + lineEnd;
}
}  // namespace

TEST(StrPos, FindsTheNthOrTheLastOccurrence) {
  EXPECT_EQ(strPos("", ';', 1), -1);
  EXPECT_EQ(strPos("abc", ';', 1), -1);
  EXPECT_EQ(strPos("a;b;c;", ';', 1), 1);
  EXPECT_EQ(strPos("a;b;c;", ';', 2), 3);
  EXPECT_EQ(strPos("a;b", ';', 2), 1);  // fewer than n: the last one
  EXPECT_EQ(strPos(";", ';', 2), 0);
  EXPECT_EQ(strPos("ab\n", '\n', 1), 2);
  EXPECT_EQ(strPos("\xE4;\xE4", '\xE4', 2), 2);  // compared as bytes
}

TEST(StrField, CopiesAPieceBoundedByTextAndField) {
  char dest[16];
  strField("abcdef", 2, 3, dest);
  EXPECT_STREQ(dest, "cde");
  strField("abcdef", 2, 0, dest);  // 0: to the end
  EXPECT_STREQ(dest, "cdef");
  strField("abcdef", 0, 0, dest);
  EXPECT_STREQ(dest, "abcdef");
  strField("abcdef", 2, -1, dest);
  EXPECT_STREQ(dest, "");
  strField("abcdef", 6, 0, dest);
  EXPECT_STREQ(dest, "");
  // Out of the text: never read past its end.
  strField("abcdef", 4, 10, dest);
  EXPECT_STREQ(dest, "ef");
  strField("abcdef", 7, 1, dest);
  EXPECT_STREQ(dest, "");
  strField("abcdef", -1, 2, dest);
  EXPECT_STREQ(dest, "");

  char small[4] = {'x', 'x', 'x', 'x'};
  strField("abcdef", 0, 0, small);  // cut at the capacity
  EXPECT_STREQ(small, "abc");
  char none = 'x';
  strField("abcdef", 0, 0, &none, 0);
  EXPECT_EQ(none, 'x');
}

TEST(ParseSettingsPair, SecondLineShapes) {
  const char* first = "x;KVS;y\n";
  Pair p = parse(first, "7;DATABASE;ABCD\n");
  EXPECT_EQ(p.number, 7);
  EXPECT_EQ(p.key, "DATABASE");
  EXPECT_EQ(p.value, "ABCD");
  EXPECT_EQ(p.section, "KVS");

  p = parse(first, "7;DATABASE;AB;CD;EF\n");  // later separators belong to the value
  EXPECT_EQ(p.key, "DATABASE");
  EXPECT_EQ(p.value, "AB;CD;EF");

  p = parse(first, "7;TEXT\n");  // one separator only
  EXPECT_EQ(p.number, 7);
  EXPECT_EQ(p.key, "");
  EXPECT_EQ(p.value, "TEXT");

  p = parse(first, "plain text\n");  // no separator
  EXPECT_EQ(p.number, 0);
  EXPECT_EQ(p.key, "");
  EXPECT_EQ(p.value, "plain text\n");

  p = parse(first, ";DATABASE;ABCD\n");  // empty number field
  EXPECT_EQ(p.number, 0);
  EXPECT_EQ(p.key, "DATABASE");
  EXPECT_EQ(p.value, "ABCD");

  p = parse(first, "7;;ABCD\n");  // empty key field
  EXPECT_EQ(p.number, 7);
  EXPECT_EQ(p.key, ";ABCD\n");
  EXPECT_EQ(p.value, "ABCD");

  p = parse(first, "7;DATABASE;\n");  // empty value field
  EXPECT_EQ(p.key, "DATABASE");
  EXPECT_EQ(p.value, "\n");
  EXPECT_EQ(parse(first, "7;\n").value, "\n");  // ... after the only separator
}

TEST(ParseSettingsPair, MissingLineFeedGivesTheSameFields) {
  for (const char* line : {"7;DATABASE;ABCD", "7;TEXT", "7;DATABASE;", "plain"}) {
    SCOPED_TRACE(line);
    const Pair without = parse("x;KVS;", line);
    const Pair with = parse("x;KVS;\n", std::string(line) + "\n");
    EXPECT_EQ(without.key, with.key);
    EXPECT_EQ(without.number, with.number);
    EXPECT_EQ(without.value, with.value);
  }
}

TEST(ParseSettingsPair, FirstLineShapes) {
  EXPECT_EQ(parse("x;KVS;y;z\n", "1;K;V\n").section, "KVS");
  EXPECT_EQ(parse(";KVS;\n", "1;K;V\n").section, "KVS");
  EXPECT_EQ(parse("x;KVS\n", "1;K;V\n").section, "");
  EXPECT_EQ(parse("no separator\n", "1;K;V\n").section, "");
  EXPECT_EQ(parse("\n", "1;K;V\n").section, "");
  // Adjacent separators: the rest of the line after the first one.
  EXPECT_EQ(parse("x;;y\n", "1;K;V\n").section, ";y\n");
}

TEST(ParseSettingsPair, NumberFieldIsReadAsAtoiDoes) {
  EXPECT_EQ(parse("\n", "  42;K;V\n").number, 42);
  EXPECT_EQ(parse("\n", "\t\v\f\r 7;K;V\n").number, 7);
  EXPECT_EQ(parse("\n", "+5;K;V\n").number, 5);
  EXPECT_EQ(parse("\n", "-3;K;V\n").number, -3);
  EXPECT_EQ(parse("\n", "12ab;K;V\n").number, 12);
  EXPECT_EQ(parse("\n", "ab12;K;V\n").number, 0);
  EXPECT_EQ(parse("\n", "- 5;K;V\n").number, 0);
  EXPECT_EQ(parse("\n", "+-5;K;V\n").number, 0);
  EXPECT_EQ(parse("\n", "0;K;V\n").number, 0);
  EXPECT_EQ(parse("\n", "2147483647;K;V\n").number, INT32_MAX);
  EXPECT_EQ(parse("\n", "-2147483648;K;V\n").number, INT32_MIN);
}

TEST(ParseSettingsPair, OversizedNumbersClampAndLongFieldsAreReadWhole) {
  EXPECT_EQ(parse("\n", "2147483648;K;V\n").number, INT32_MAX);
  EXPECT_EQ(parse("\n", "-2147483649;K;V\n").number, INT32_MIN);
  EXPECT_EQ(parse("\n", "4294967296;K;V\n").number, INT32_MAX);  // never wraps to 0
  EXPECT_EQ(parse("\n", std::string(300, '9') + ";K;V\n").number, INT32_MAX);
  EXPECT_EQ(parse("\n", "-" + std::string(300, '9') + ";K;V\n").number, INT32_MIN);
  // Longer than 11 characters, yet the value of the whole field.
  EXPECT_EQ(parse("\n", "0000000000001;K;V\n").number, 1);
  EXPECT_EQ(parse("\n", "             9;K;V\n").number, 9);
}

TEST(ParseSettingsPair, FieldsAreCutAtTheirCapacity) {
  const std::string longKey(250, 'K');
  const std::string longValue(300, 'A');
  EXPECT_EQ(parse("\n", "1;" + longKey + ";V\n").key, longKey.substr(0, kIniFieldCapacity - 1));
  EXPECT_EQ(parse("\n", "1;K;" + longValue + "\n").value,
            longValue.substr(0, kIniFieldCapacity - 1));
  EXPECT_EQ(parse("\n", std::string(398, 'v') + "\n").value.size(), kIniFieldCapacity - 1);
  // A line longer than any read line is cut, never overrun.
  const Pair huge = parse(std::string(1000, ';'), std::string(1000, ';'));
  EXPECT_EQ(huge.section.size(), kIniFieldCapacity - 1);
  EXPECT_EQ(huge.value.size(), kIniFieldCapacity - 1);
}

TEST(ReadSetting, ReadsTheRunsThreeSettings) {
  const std::string bytes = pairFor("DATABASE", "DSN_KVS", 1) + pairFor("LOGIN", "sa", 2) +
                            pairFor("PASS", "Gr\xFC\xDF" "e; mit Leer", 3);
  TempSettingsFile file(bytes);
  char database[200];
  char login[200];
  char password[200];
  EXPECT_EQ(readSetting(file.c_str(), "DATABASE", database), 0);
  EXPECT_EQ(readSetting(file.c_str(), "LOGIN", login), 0);
  EXPECT_EQ(readSetting(file.c_str(), "PASS", password), 0);
  EXPECT_STREQ(database, "DSN_KVS");
  EXPECT_STREQ(login, "sa");
  EXPECT_STREQ(password, "Gr\xFC\xDF" "e; mit Leer");

  // A value longer than the caller's field is cut there, terminated.
  char small[4];
  EXPECT_EQ(readSetting(file.c_str(), "DATABASE", small), 0);
  EXPECT_STREQ(small, "DSN");

  SettingsPair pair;
  ASSERT_EQ(readSettingsPair(file.c_str(), "LOGIN", pair), 0);
  EXPECT_EQ(pair.number, 2);
  EXPECT_STREQ(pair.key, "LOGIN");
  EXPECT_STREQ(pair.section, "KVS");
}

TEST(ReadSetting, NothingFoundLeavesEveryPairFieldEmpty) {
  TempSettingsFile file(pairFor("DATABASE", "DSN_KVS"));
  char value[200] = "stale";
  EXPECT_EQ(readSetting((file.path + ".missing").c_str(), "DATABASE", value), -1);
  EXPECT_STREQ(value, "");
  copyField(value, "stale");
  EXPECT_EQ(readSetting(file.c_str(), "LOGIN", value), -1);
  EXPECT_STREQ(value, "");

  SettingsPair pair;
  std::memset(&pair, 'x', sizeof pair);
  EXPECT_EQ(readSettingsPair((file.path + ".missing").c_str(), "DATABASE", pair), -1);
  EXPECT_STREQ(pair.value, "");
  EXPECT_STREQ(pair.key, "");
  EXPECT_STREQ(pair.section, "");
  EXPECT_EQ(pair.number, 0);
  std::memset(&pair, 'x', sizeof pair);
  EXPECT_EQ(readSettingsPair(file.c_str(), "LOGIN", pair), -1);
  EXPECT_STREQ(pair.value, "");
  EXPECT_STREQ(pair.key, "");
  EXPECT_EQ(pair.number, 0);

  EXPECT_EQ(lookUp("", "DATABASE"), "");
  EXPECT_EQ(lookUp("1;DATABASE;" + cipherHex("x") + "\r\n", "DATABASE"), "");  // one line
}

TEST(ReadSetting, TheLastLineWithoutAPartnerIsNeverExamined) {
  const std::string orphan = "1;DATABASE;" + cipherHex("DSN") + "\r\n";
  EXPECT_EQ(lookUp(pairFor("LOGIN", "sa") + orphan, "DATABASE"), "");
  EXPECT_EQ(lookUp(pairFor("LOGIN", "sa") + ";KVS;\r\n" + orphan, "DATABASE"), "DSN");
}

TEST(ReadSetting, TheFirstMatchingPairWins) {
  EXPECT_EQ(lookUp(pairFor("DATABASE", "first", 1) + pairFor("DATABASE", "second", 2),
                   "DATABASE"),
            "first");
}

TEST(ReadSetting, EmptySectionOrNumberZeroAnswerEveryRequestOfTheRun) {
  const std::string wanted = pairFor("DATABASE", "DSN");
  const std::string other = "1;OTHER;" + cipherHex("other") + "\r\n";
  // First lines with fewer than two separators give the empty section.
  EXPECT_EQ(lookUp("x;KVS\r\n" + other + wanted, "DATABASE"), "other");
  EXPECT_EQ(lookUp("none\r\n" + other + wanted, "DATABASE"), "other");
  // Number 0: written so, without leading digits, empty, or no separator.
  const std::string hex = cipherHex("zero");
  EXPECT_EQ(lookUp(";KVS;\r\n0;OTHER;" + hex + "\r\n" + wanted, "DATABASE"), "zero");
  EXPECT_EQ(lookUp(";KVS;\r\nabc;OTHER;" + hex + "\r\n" + wanted, "DATABASE"), "zero");
  EXPECT_EQ(lookUp(";KVS;\r\n;OTHER;" + hex + "\r\n" + wanted, "DATABASE"), "zero");
  // No separator: the whole line with its line feed is the value, whose one
  // whole group still deciphers.
  const Pair whole = lookUpPair(";KVS;\r\n" + hex + "\r\n" + wanted, "DATABASE");
  EXPECT_EQ(whole.value, "zero");
  EXPECT_EQ(whole.key, "");
  // Adjacent separators do not give the empty section.
  EXPECT_EQ(lookUp("x;;y\r\n" + other + wanted, "DATABASE"), "DSN");
}

TEST(ReadSetting, KeyNamesCompareCaseSensitively) {
  EXPECT_EQ(lookUp(pairFor("database", "lower", 1) + pairFor("DATABASE", "upper", 2),
                   "DATABASE"),
            "upper");
  // An empty key field ends with a line feed and equals no key name.
  EXPECT_EQ(lookUp(";KVS;\r\n1;;" + cipherHex("x") + "\r\n" + pairFor("DATABASE", "upper"),
                   "DATABASE"),
            "upper");
}

TEST(ReadSetting, LineEndsOfEitherKindAndNoneAtTheEnd) {
  const std::string crlf = pairFor("LOGIN", "sa", 2) + pairFor("PASS", "pw", 3);
  const std::string lf = pairFor("LOGIN", "sa", 2, "\n") + pairFor("PASS", "pw", 3, "\n");
  const std::string bare = crlf.substr(0, crlf.size() - 2);
  for (const std::string* bytes : {&crlf, &lf, &bare}) {
    const Pair p = lookUpPair(*bytes, "PASS");
    EXPECT_EQ(p.value, "pw");
    EXPECT_EQ(p.number, 3);
    EXPECT_EQ(p.key, "PASS");
  }
}

TEST(ReadSetting, CtrlZEndsTheFile) {
  const std::string bytes = pairFor("LOGIN", "sa") + "\x1A" + pairFor("PASS", "pw");
  EXPECT_EQ(lookUp(bytes, "LOGIN"), "sa");
  EXPECT_EQ(lookUp(bytes, "PASS"), "");
}

TEST(ReadSetting, EmptyOrBrokenCipherTextGivesWholeGroupsOnly) {
  const Pair empty = lookUpPair(";KVS;\r\n1;PASS;\r\n", "PASS");  // a single line feed
  EXPECT_EQ(empty.value, "");
  EXPECT_EQ(empty.key, "PASS");
  const std::string hex = cipherHex("0123456789");  // two groups
  EXPECT_EQ(lookUp(";KVS;\r\n1;PASS;" + hex + "ABC\r\n", "PASS"), "0123456789");
  EXPECT_EQ(lookUp(";KVS;\r\n1;PASS;" + hex.substr(0, 20) + "\r\n", "PASS"), "01234567");
  // A value field over 200 characters: its first 200 are deciphered.
  const std::string longest(96, 'L');
  EXPECT_EQ(lookUp(";KVS;\r\n1;PASS;" + cipherHex(longest) + std::string(100, 'F') + "\r\n",
                   "PASS"),
            longest);
}

TEST(ReadSetting, ALongFirstLinePutsThePairsOutOfStep) {
  const std::string tail = "9;OTHER;" + cipherHex("tail") + "\r\n";
  const std::string rest = "1;DATABASE;" + cipherHex("DSN") + "\r\n;KVS;\r\n";
  // 198 characters and the line feed fit.
  const std::string fits = "x;KVS;" + std::string(192, 'f');
  EXPECT_EQ(lookUp(fits + "\r\n" + tail + rest + "2;DATABASE;" + cipherHex("x") + "\r\n",
                   "OTHER"),
            "tail");
  // 199 characters are cut: the line feed alone is the second line (number 0).
  const Pair cut = lookUpPair(fits + "f\r\n" + tail, "OTHER");
  EXPECT_EQ(cut.value, "");
  EXPECT_EQ(cut.section, "KVS");
  EXPECT_EQ(cut.number, 0);
  // The rest of a longer line is the second line; the next pair starts with
  // what was meant as a second line.
  EXPECT_EQ(lookUp(fits + "f" + tail + rest, "OTHER"), "tail");
  const Pair shifted = lookUpPair(fits + "f" + tail + rest, "DATABASE");
  EXPECT_EQ(shifted.value, "");
  EXPECT_EQ(shifted.key, "KVS");
}

TEST(ReadSetting, ALongSecondLinePutsThePairsOutOfStep) {
  const std::string head = ";KVS;\r\n1;DATABASE;" + cipherHex("DSN");
  const std::string login = ";KVS;\r\n2;LOGIN;" + cipherHex("sa") + "\r\n";
  const size_t fill = 398 - (head.size() - 7);  // 398 characters and the line feed
  EXPECT_EQ(lookUp(head + std::string(fill, ';') + "\r\n" + login, "LOGIN"), "sa");
  EXPECT_EQ(lookUp(head + std::string(fill, ';') + "\r\n" + login, "DATABASE"), "DSN");
  // 399 characters: the line feed alone is the next first line, whose empty
  // section answers every request, with ";KVS;" as its second line.
  const Pair shifted = lookUpPair(head + std::string(fill + 1, ';') + "\r\n" + login, "LOGIN");
  EXPECT_EQ(shifted.value, "");
  EXPECT_EQ(shifted.key, "KVS");
}
