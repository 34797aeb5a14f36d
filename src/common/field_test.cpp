#include "common/field.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Field, CopyCutsAtCapacityAndAlwaysTerminates) {
  char small[5];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(copyField(small, "abcdefg"), 3u);
  EXPECT_STREQ(small, "abcd");
  EXPECT_EQ(copyField(small, "ab"), 0u);
  EXPECT_STREQ(small, "ab");
  EXPECT_EQ(copyField(small, ""), 0u);
  EXPECT_STREQ(small, "");
}

TEST(Field, CopyStopsAtEmbeddedZeroByte) {
  char f[8];
  EXPECT_EQ(copyField(f, std::string_view("ab\0cd", 5)), 0u);
  EXPECT_STREQ(f, "ab");
}

TEST(Field, AppendCutsAtCapacity) {
  char f[6] = "ab";
  EXPECT_EQ(appendText(f, sizeof f, "cd"), 0u);
  EXPECT_STREQ(f, "abcd");
  EXPECT_EQ(appendText(f, sizeof f, "efg"), 2u);
  EXPECT_STREQ(f, "abcde");
  EXPECT_EQ(appendText(f, sizeof f, "z"), 1u);
  EXPECT_STREQ(f, "abcde");
}

TEST(Field, ViewOfUnterminatedFieldStaysInside) {
  char f[3] = {'a', 'b', 'c'};
  EXPECT_EQ(fieldView(f), "abc");
}
