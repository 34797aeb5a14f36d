#include "ini_edit.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/text_file.h"
#include "settings/ini_reader.h"
#include "settings/settings_test_files.h"

namespace {
/// What the run reads for key from a file with the given bytes.
std::string lookUp(const std::string& bytes, const char* key) {
  TempSettingsFile file(bytes, key);
  char value[kIniFieldCapacity];
  readSetting(file.c_str(), key, value);
  return value;
}

/// bytes with plain stored for key.
std::string set(const std::string& bytes, const char* key, const std::string& plain) {
  return withSetting(bytes, key, cipherHex(plain).c_str());
}

std::string pairFor(const std::string& key, const std::string& plain, int number,
                    const std::string& end = "\r\n") {
  return ";KVS;" + end + std::to_string(number) + ";" + key + ";" + cipherHex(plain) + end;
}

std::string randomBytes(std::mt19937& random, size_t length) {
  static const char kAlphabet[] = ";;;;\n\n\r\x1A" "0123456789ABCDEFKVS \xE4";
  std::string out;
  for (size_t i = 0; i < length; ++i) out += kAlphabet[random() % (sizeof kAlphabet - 1)];
  return out;
}
}  // namespace

TEST(ReaderLayout, SplitsAsTheSettingsReaderReads) {
  std::mt19937 random(5);
  for (int round = 0; round < 500; ++round) {
    std::string raw = randomBytes(random, random() % 900);
    if (round % 3 == 0) raw += std::string(450, 'x') + "\r\n";  // over-long lines
    const ReaderLayout layout = readerLayout(raw);

    TempSettingsFile file(raw);
    TextReader reader;
    ASSERT_EQ(reader.open(file.c_str()), 0);
    char line[kIniSecondLineCapacity];
    size_t index = 0;
    size_t next = 0;  // lines cover the input without gap or overlap
    for (;; ++index) {
      const size_t cap = index % 2 == 0 ? kIniFirstLineCapacity : kIniSecondLineCapacity - 1;
      if (!reader.readLine(line, cap)) break;
      ASSERT_LT(index, layout.lines.size());
      EXPECT_EQ(layout.lines[index].text, line);
      EXPECT_EQ(layout.lines[index].begin, next);
      next = layout.lines[index].end;
    }
    EXPECT_EQ(index, layout.lines.size());
    EXPECT_EQ(next, layout.inputEnd);
    EXPECT_EQ(layout.inputEnd, std::min(raw.find('\x1A'), raw.size()));
  }
}

TEST(FindAnsweringPair, GivesTheFirstPairTheRunWouldTake) {
  const std::string bytes =
      pairFor("LOGIN", "sa", 2) + ";KVS;\r\n0;OTHER;AB\r\n" + pairFor("PASS", "pw", 3);
  const ReaderLayout layout = readerLayout(bytes);
  SettingsPair pair;
  EXPECT_EQ(findAnsweringPair(layout, "LOGIN", pair), 0);
  EXPECT_EQ(pair.number, 2);
  EXPECT_EQ(findAnsweringPair(layout, "PASS", pair), 1);  // number 0 answers first
  EXPECT_STREQ(pair.key, "OTHER");
  EXPECT_STREQ(pair.value, "AB");  // not deciphered
  EXPECT_EQ(findAnsweringPair(readerLayout(pairFor("LOGIN", "sa", 2)), "PASS", pair), -1);
  EXPECT_STREQ(pair.key, "");
}

TEST(SettingChecks, RefuseWhatTheFileCannotCarry) {
  EXPECT_EQ(settingValueProblem(""), nullptr);
  EXPECT_EQ(settingValueProblem(std::string(96, 'v')), nullptr);
  EXPECT_EQ(settingValueProblem("mit Leer; und \xE4\xF6\xFC\xDF"), nullptr);
  EXPECT_NE(settingValueProblem(std::string(97, 'v')), nullptr);
  EXPECT_NE(settingValueProblem(std::string("a\0b", 3)), nullptr);
  EXPECT_NE(settingValueProblem("a\nb"), nullptr);
  EXPECT_NE(settingValueProblem("a\rb"), nullptr);

  EXPECT_EQ(keyNameProblem("DATABASE"), nullptr);
  EXPECT_EQ(keyNameProblem(std::string(200, 'K')), nullptr);
  EXPECT_NE(keyNameProblem(""), nullptr);
  EXPECT_NE(keyNameProblem(std::string(201, 'K')), nullptr);
  EXPECT_NE(keyNameProblem("A;B"), nullptr);
  EXPECT_NE(keyNameProblem("A\nB"), nullptr);
  EXPECT_NE(keyNameProblem(std::string("A\0B", 3)), nullptr);
}

TEST(WithSetting, AnEmptyFileGetsOnePair) {
  const std::string out = set("", "DATABASE", "DSN_KVS");
  EXPECT_EQ(out, ";DULMAR;\r\n1;DATABASE;" + cipherHex("DSN_KVS") + "\r\n");
  EXPECT_EQ(lookUp(out, "DATABASE"), "DSN_KVS");
  EXPECT_EQ(lookUp(out, "LOGIN"), "");  // the new pair answers nothing else
}

TEST(WithSetting, ThePairOfTheKeyChangesOnlyItsValue) {
  const std::string head = "[Kopf];KVS;alt\n7; DATABASE_X;AB\n";
  const std::string tail = pairFor("PASS", "pw", 3, "\n");
  const std::string before = head + "x;KVS;\n+4;LOGIN;" + cipherHex("old") + ";rest\n" + tail;
  const std::string out = set(before, "LOGIN", "neu; \xE4");
  EXPECT_EQ(out, head + "x;KVS;\n+4;LOGIN;" + cipherHex("neu; \xE4") + "\r\n" + tail);
  EXPECT_EQ(lookUp(out, "LOGIN"), "neu; \xE4");
  EXPECT_EQ(lookUp(out, "PASS"), "pw");
}

TEST(WithSetting, GoesInFrontOfAnotherPairThatAnswersFirst) {
  // A pair with number 0 answers every request; it keeps answering the others.
  const std::string shadow = ";KVS;\r\n0;OTHER;" + cipherHex("other") + "\r\n";
  const std::string before = pairFor("LOGIN", "sa", 2) + shadow + pairFor("PASS", "pw", 3);
  const std::string out = set(before, "PASS", "new");
  EXPECT_EQ(out, pairFor("LOGIN", "sa", 2) + ";DULMAR;\r\n1;PASS;" + cipherHex("new") +
                     "\r\n" + shadow + pairFor("PASS", "pw", 3));
  EXPECT_EQ(lookUp(out, "PASS"), "new");
  EXPECT_EQ(lookUp(out, "LOGIN"), "sa");
  EXPECT_EQ(lookUp(out, "DATABASE"), "other");
}

TEST(WithSetting, ReplacesThePairOfTheKeyThatAnswersEveryRequest) {
  const std::string before = "no section\r\n5;DATABASE;" + cipherHex("old") + "\r\n" +
                             pairFor("LOGIN", "sa", 2);
  ASSERT_EQ(lookUp(before, "LOGIN"), "old");
  const std::string out = set(before, "DATABASE", "DSN");
  EXPECT_EQ(out, ";DULMAR;\r\n1;DATABASE;" + cipherHex("DSN") + "\r\n" + pairFor("LOGIN", "sa", 2));
  EXPECT_EQ(lookUp(out, "DATABASE"), "DSN");
  EXPECT_EQ(lookUp(out, "LOGIN"), "sa");  // no longer shadowed
}

TEST(WithSetting, AppendsAfterTheLastPairKeepingWhatTheReaderNeverSees) {
  const std::string pairs = pairFor("LOGIN", "sa", 2);
  // A last line without partner stays last and alone.
  const std::string orphan = "1;PASS;" + cipherHex("orphan") + "\r\n";
  std::string out = set(pairs + orphan, "PASS", "pw");
  EXPECT_EQ(out, pairs + ";DULMAR;\r\n1;PASS;" + cipherHex("pw") + "\r\n" + orphan);
  EXPECT_EQ(lookUp(out, "PASS"), "pw");
  // Whatever follows a 0x1A stays behind it.
  const std::string hidden = std::string("\x1A") + pairFor("PASS", "hidden", 3);
  out = set(pairs + hidden, "PASS", "pw");
  EXPECT_EQ(out, pairs + ";DULMAR;\r\n1;PASS;" + cipherHex("pw") + "\r\n" + hidden);
  EXPECT_EQ(lookUp(out, "PASS"), "pw");
  // A last line without line end gets one before the new pair.
  const std::string bare = pairs.substr(0, pairs.size() - 2);
  out = set(bare, "PASS", "pw");
  EXPECT_EQ(out, pairs + ";DULMAR;\r\n1;PASS;" + cipherHex("pw") + "\r\n");
  EXPECT_EQ(lookUp(out, "LOGIN"), "sa");
  EXPECT_EQ(lookUp(out, "PASS"), "pw");
}

TEST(WithSetting, RandomFilesGiveTheValueAndKeepTheirOtherAnswers) {
  std::mt19937 random(99);
  const char* keys[] = {"DATABASE", "LOGIN", "PASS"};
  for (int round = 0; round < 400; ++round) {
    std::string raw;
    for (int i = random() % 8; i > 0; --i) {
      raw += random() % 2 ? pairFor(keys[random() % 3], "v" + std::to_string(i), random() % 3)
                          : randomBytes(random, random() % 300);
    }
    const char* key = keys[random() % 3];
    const std::string value = "Wert " + std::to_string(round) + ";\xE9";
    const std::string out = set(raw, key, value);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(lookUp(out, key), value);
    // Other keys change only where the old pair of key answered them too.
    SettingsPair pair;
    const int answering = findAnsweringPair(readerLayout(raw), key, pair);
    const bool ownPairAnsweredAll =
        answering >= 0 && std::string(pair.key) == key && (pair.section[0] == '\0' || pair.number == 0);
    for (const char* other : keys) {
      if (other == key || ownPairAnsweredAll) continue;
      ASSERT_EQ(lookUp(out, other), lookUp(raw, other)) << other;
    }
  }
}
