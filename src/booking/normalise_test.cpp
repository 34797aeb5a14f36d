#include "booking/normalise.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string trimmed(std::string s) {
  trimRight(s.data());
  return s.c_str();
}
std::string stripped(std::string s) {
  stripLeadingZeros(s.data());
  return s.c_str();
}
}  // namespace

TEST(TrimRight, CutsAtTheLeftmostBlankOfTheTrailingRun) {
  EXPECT_EQ(trimmed("AB  "), "AB");
  EXPECT_EQ(trimmed("AB-"), "AB-");        // punctuation alone stays
  EXPECT_EQ(trimmed("AB .;"), "AB");       // a blank before punctuation cuts it all
  EXPECT_EQ(trimmed("AB.; "), "AB.;");
  EXPECT_EQ(trimmed("A B"), "A B");        // inner blanks are content
  EXPECT_EQ(trimmed("   "), "");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("42\t\r\n\v\f"), "42");
  EXPECT_EQ(trimmed("K\xE4 \xF6"), "K\xE4");  // bytes 0x80-0xFF are passed over, not stops
  EXPECT_EQ(trimmed("\xE4 "), "\xE4");
}

TEST(TrimRight, NoTextIsAnError) {
  EXPECT_EQ(trimRight(nullptr), -1);
  char s[] = "x ";
  EXPECT_EQ(trimRight(s), 0);
}

TEST(StripLeadingZeros, RemovesOnlyLeadingZeros) {
  EXPECT_EQ(stripped("000123"), "123");
  EXPECT_EQ(stripped("0000000"), "");
  EXPECT_EQ(stripped("0A"), "A");
  EXPECT_EQ(stripped("1000"), "1000");
  EXPECT_EQ(stripped(""), "");
  EXPECT_EQ(stripLeadingZeros(nullptr), -1);
}
