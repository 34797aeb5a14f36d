#include "db/diagnostic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/field.h"

TEST(TrimDiagText, DropsBlanksTabsAndLineFeedsButKeepsCr) {
  char a[] = "message \t\n\n";
  trimDiagText(a);
  EXPECT_STREQ(a, "message");
  char b[] = "message\r";
  trimDiagText(b);
  EXPECT_STREQ(b, "message\r");
  char c[] = " \t\n";
  trimDiagText(c);
  EXPECT_STREQ(c, "");
}

TEST(DiagnosticText, NoDiagnosisLeavesTheTextUntouched) {
  Diagnostic diag{};
  int32_t native = 77;
  char text[kDiagTextCapacity] = "untouched";
  diagnosticText(diag, &native, text);
  EXPECT_EQ(native, 0);
  EXPECT_STREQ(text, "untouched");
}

TEST(DiagnosticText, CopiesAtMost256CharactersTrimmed) {
  Diagnostic diag{};
  diag.nativeError = 2627;
  std::string longMessage(300, 'm');
  copyField(diag.message, longMessage);
  int32_t native = 0;
  char text[kDiagTextCapacity] = {};
  diagnosticText(diag, &native, text);
  EXPECT_EQ(native, 2627);
  EXPECT_EQ(std::string(text), std::string(256, 'm'));

  copyField(diag.message, "Violation of PRIMARY KEY constraint 'PK'.  \n");
  std::memset(text, 0, sizeof text);
  diagnosticText(diag, &native, text);
  EXPECT_STREQ(text, "Violation of PRIMARY KEY constraint 'PK'.");
}

namespace {
Diagnostic record(const char* state, int32_t native) {
  Diagnostic d{};
  d.recorded = true;
  copyField(d.state, state);
  d.nativeError = native;
  return d;
}
}  // namespace

TEST(DiagnosesLostLink, ConnectionClassStatesAndFreeTdsEofAreALostLink) {
  for (const char* state : {"08S01", "08S02", "08003", "08001"}) EXPECT_TRUE(diagnosesLostLink(record(state, 0)));
  EXPECT_TRUE(diagnosesLostLink(record("01000", 20017)));
}

TEST(DiagnosesLostLink, ServerErrorsAndOtherNoticesAreNot) {
  EXPECT_FALSE(diagnosesLostLink(record("23000", 2627)));
  EXPECT_FALSE(diagnosesLostLink(record("01000", 5701)));  // a changed-database notice
  EXPECT_FALSE(diagnosesLostLink(record("08004", 18456)));  // the server refused the login: not a blip
  Diagnostic none{};
  copyField(none.state, "08S01");
  EXPECT_FALSE(diagnosesLostLink(none));  // nothing was diagnosed into it
}
