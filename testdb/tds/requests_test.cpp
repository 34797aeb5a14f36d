#include "tds/requests.h"

#include <gtest/gtest.h>

#include "tds/tds_test_support.h"

namespace testdb::tds {
namespace {

// FreeTDS's PRELOGIN: version, encryption, instance, thread id, MARS.
const std::vector<uint8_t> kFreeTdsPrelogin = {
    0x00, 0x00, 0x1a, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02, 0x00, 0x21, 0x00, 0x0c, 0x03, 0x00, 0x2d,
    0x00, 0x04, 0x04, 0x00, 0x31, 0x00, 0x01, 0xff, 0x01, 0x03, 0x00, 0x11, 0x00, 0x00, 0x02, 'M',  'S',  'S',
    'Q',  'L',  'S',  'e',  'r',  'v',  'e',  'r',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(Prelogin, ReadsTheClientsEncryptionOption) {
  Prelogin p;
  ASSERT_EQ(parsePrelogin(kFreeTdsPrelogin, p), 0);
  EXPECT_EQ(p.encryption, kEncryptNotSupported);
  std::vector<uint8_t> onlyTerminator = {0xff};
  ASSERT_EQ(parsePrelogin(onlyTerminator, p), 0);
  EXPECT_EQ(p.encryption, kEncryptOff);
}

TEST(Prelogin, RejectsOptionsOutsideTheMessageAndAMissingTerminator) {
  Prelogin p;
  std::vector<uint8_t> outside = kFreeTdsPrelogin;
  outside[3] = 0xff;  // VERSION claims 0xff06 bytes
  EXPECT_EQ(parsePrelogin(outside, p), -1);
  std::vector<uint8_t> unterminated(kFreeTdsPrelogin.begin(), kFreeTdsPrelogin.begin() + 25);
  EXPECT_EQ(parsePrelogin(unterminated, p), -1);
  EXPECT_EQ(parsePrelogin({}, p), -1);
}

TEST(Prelogin, TheReplySaysEncryptionIsNotSupported) {
  Prelogin p;
  std::vector<uint8_t> reply = preloginReply();
  ASSERT_EQ(parsePrelogin(reply, p), 0);
  EXPECT_EQ(p.encryption, kEncryptNotSupported);
}

TEST(Login7, ReadsNamesAndTheDeobfuscatedPassword) {
  test::LoginFields f;
  f.user = "Dulmar";
  f.password = "s\xf6kr\x80t";
  f.database = "attendance";
  f.packetSize = 8192;
  Login7 l;
  ASSERT_EQ(parseLogin7(test::login7(f), l), 0);
  EXPECT_EQ(l.tdsVersion, kTds74);
  EXPECT_EQ(l.packetSize, 8192u);
  EXPECT_EQ(l.userName, "Dulmar");
  EXPECT_EQ(l.password, "s\xf6kr\x80t");
  EXPECT_EQ(l.database, "attendance");
  EXPECT_EQ(l.appName, "test");
  EXPECT_EQ(l.hostName, "host");
}

TEST(Login7, RejectsAShortMessageAndStringsOutsideIt) {
  Login7 l;
  std::vector<uint8_t> b = test::login7({});
  EXPECT_EQ(parseLogin7(std::span(b).first(93), l), -1);
  std::vector<uint8_t> far = b;
  far[40] = 0xf0;  // user name offset past the end
  far[41] = 0xff;
  EXPECT_EQ(parseLogin7(far, l), -1);
  std::vector<uint8_t> long_ = b;
  long_[46] = 0xff;  // password length past the end
  EXPECT_EQ(parseLogin7(long_, l), -1);
}

TEST(Login7, VersionsFrom72To74AreAnsweredInTheirOwnAndOlderOnesRefused) {
  EXPECT_EQ(negotiatedVersion(kTds74), kTds74);
  EXPECT_EQ(negotiatedVersion(0x75000000), kTds74);
  EXPECT_EQ(negotiatedVersion(kTds73B), kTds73B);
  EXPECT_EQ(negotiatedVersion(kTds72), kTds72);
  EXPECT_EQ(negotiatedVersion(0x71000001), 0u);
}

TEST(SqlBatch, SkipsAllHeadersAndDecodesTheText) {
  std::string text;
  ASSERT_EQ(parseSqlBatch(test::sqlBatch("SELECT '\x80\xf6'"), text), 0);
  EXPECT_EQ(text, "SELECT '\x80\xf6'");
}

TEST(SqlBatch, RejectsHeadersLongerThanTheMessageAndAnOddText) {
  std::string text;
  std::vector<uint8_t> b = test::sqlBatch("SELECT 1");
  b[0] = 0xff;
  EXPECT_EQ(parseSqlBatch(b, text), -1);
  b = test::sqlBatch("SELECT 1");
  b.push_back('x');
  EXPECT_EQ(parseSqlBatch(b, text), -1);
  const uint8_t tiny[] = {4, 0, 0};
  EXPECT_EQ(parseSqlBatch(tiny, text), -1);
}

}  // namespace
}  // namespace testdb::tds
