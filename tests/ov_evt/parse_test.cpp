// The event line parsers and host tests, case by case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hp_ov/ov_evt/ovcut.h"
#include "hp_ov/ov_evt/ovparse.h"

namespace {

struct Fields {
  int time_rc, host_rc, msg_rc, sev_rc;
  std::int32_t time = -99;
  char host[kOvHostSize];
  char message[kOvMessageSize];
  char key[kOvSeveritySize];
};

Fields Parse(const std::string &line) {
  Fields f{};
  std::memset(f.host, 0, sizeof f.host);
  std::memset(f.message, 0, sizeof f.message);
  std::memset(f.key, 0, sizeof f.key);
  f.time_rc = OvGetEventTime(line.c_str(), &f.time);
  f.host_rc = OvGetHostName(line.c_str(), f.host);
  f.msg_rc = OvGetEventMessage(line.c_str(), f.message);
  f.sev_rc = OvGetSeverity(line.c_str(), f.key);
  return f;
}

TEST(Parse, TypicalLine) {
  Fields f = Parse("1700000000 1 Node1.Example.COM\tx Link down on if 3;Critical .1.3.6");
  EXPECT_EQ(f.time_rc, 0);
  EXPECT_EQ(f.time, 1700000000);
  EXPECT_EQ(f.host_rc, 0);
  EXPECT_STREQ(f.host, "Node1.Example.COM");
  EXPECT_EQ(f.msg_rc, 0);
  EXPECT_STREQ(f.message, "Link down on if 3");
  EXPECT_EQ(f.sev_rc, 0);
  EXPECT_STREQ(f.key, "Critical");
}

TEST(Parse, TimeField) {
  std::int32_t t = 5;
  EXPECT_EQ(OvGetEventTime(" rest", &t), 0);  // empty field reads as 0
  EXPECT_EQ(t, 0);
  t = 5;
  EXPECT_EQ(OvGetEventTime("12a4 x", &t), kOvNotNumber);
  EXPECT_EQ(t, 5);  // untouched on failure
  EXPECT_EQ(OvGetEventTime("1234", &t), kOvNoSpace);
  EXPECT_EQ(OvGetEventTime("", &t), kOvNoSpace);
  EXPECT_EQ(OvGetEventTime("-12 x", &t), kOvNotNumber);
  // Over-long or beyond the 32-bit clock: refused, never overflowed.
  EXPECT_EQ(OvGetEventTime("1234567890123456 x", &t), kOvNotNumber);
  EXPECT_EQ(OvGetEventTime("2147483648 x", &t), kOvNotNumber);
  EXPECT_EQ(OvGetEventTime("2147483647 x", &t), 0);
  EXPECT_EQ(t, 2147483647);
  EXPECT_EQ(OvGetEventTime("000000000000001 x", &t), 0);  // 15 characters fit
  EXPECT_EQ(t, 1);
}

TEST(Parse, HostField) {
  char host[kOvHostSize];
  EXPECT_EQ(OvGetHostName("1 a b", host), kOvNoTab);
  EXPECT_EQ(OvGetHostName("1\thost x", host), kOvNoSpace);
  ASSERT_EQ(OvGetHostName("1 \tx y", host), 0);  // TAB right after a space: empty host
  EXPECT_STREQ(host, "");
  EXPECT_FALSE(OvIsIpAddress(host));
  EXPECT_FALSE(OvIsHostName(host));
  // Only the first TAB counts.
  ASSERT_EQ(OvGetHostName("1 a b\tc d\te", host), 0);
  EXPECT_STREQ(host, "b");
  std::string h128(128, 'h'), h129(129, 'h');
  ASSERT_EQ(OvGetHostName(("1 " + h128 + "\tx y").c_str(), host), 0);
  EXPECT_EQ(std::string(host), h128);
  EXPECT_EQ(OvGetHostName(("1 " + h129 + "\tx y").c_str(), host), kOvFieldTooLong);
}

TEST(Parse, MessageField) {
  char msg[kOvMessageSize];
  EXPECT_EQ(OvGetEventMessage("1 h x", msg), kOvNoTab);
  EXPECT_EQ(OvGetEventMessage("1 h\txyz", msg), kOvNoSpace);
  // No ";": runs to the end, a CR included.
  ASSERT_EQ(OvGetEventMessage("1 h\tx the text\r", msg), 0);
  EXPECT_STREQ(msg, "the text\r");
  ASSERT_EQ(OvGetEventMessage("1 h\tx 100% in C:\\temp;s x", msg), 0);
  EXPECT_STREQ(msg, "100%% in C:\\\\temp");
  std::string m2046(2046, 'm'), m2047(2047, 'm');
  ASSERT_EQ(OvGetEventMessage(("1 h\tx " + m2046 + ";s x").c_str(), msg), 0);
  EXPECT_EQ(std::string(msg), m2046);
  ASSERT_EQ(OvGetEventMessage(("1 h\tx " + m2047).c_str(), msg), 0);
  EXPECT_EQ(std::string(msg), m2046);
  // The worst case, every character doubled, fills the field exactly.
  std::string pct(2100, '%');
  ASSERT_EQ(OvGetEventMessage(("1 h\tx " + pct).c_str(), msg), 0);
  EXPECT_EQ(std::strlen(msg), 4092u);
}

TEST(Parse, SeverityField) {
  char key[kOvSeveritySize];
  EXPECT_EQ(OvGetSeverity("1 h\tx m", key), kOvNoSemicolon);
  EXPECT_EQ(OvGetSeverity("1 h\tx m;Critical", key), kOvNoSpace);
  ASSERT_EQ(OvGetSeverity("1 h\tx m; rest", key), 0);
  EXPECT_STREQ(key, "");
  // The first ";" of the line, wherever it is.
  ASSERT_EQ(OvGetSeverity("1;Major h\tx m;Critical x", key), 0);
  EXPECT_STREQ(key, "Major");
  ASSERT_EQ(OvGetSeverity("1 h\tx m;123456789012345 x", key), 0);
  EXPECT_STREQ(key, "123456789012345");
  EXPECT_EQ(OvGetSeverity("1 h\tx m;1234567890123456 x", key), kOvFieldTooLong);
}

TEST(Parse, HostTests) {
  for (const char *yes : {"10.0.0.1", "999.1.1.1", "1.2.3.4"}) EXPECT_TRUE(OvIsIpAddress(yes)) << yes;
  for (const char *no : {"10.0.0", "1.2.3.4.5", "1234.1.1.1", "1..2.3", ".1.2.3", "1.2.3.", "a.b.c.d", ""})
    EXPECT_FALSE(OvIsIpAddress(no)) << no;
  for (const char *yes : {"node1", "node-1.example.com", "3com", "-", "a.1_2"}) EXPECT_TRUE(OvIsHostName(yes)) << yes;
  for (const char *no : {"1234", "1234.example.com", ".example", "a_b", "", "n\xe9"})
    EXPECT_FALSE(OvIsHostName(no)) << no;
  char text[] = "Node1.Example.COM-\xc4Z";
  OvToLower(text);
  EXPECT_STREQ(text, "node1.example.com-\xc4z");
}

TEST(Cut, BlocksIntoLines) {
  static OV_CARRY carry;
  static char line[kOvLineSize];
  OvCarryClear(&carry);
  std::vector<std::string> got;
  auto feed = [&](const std::string &block) {
    OvCutBlock(
        &carry, block.data(), block.size(), line,
        [](const char *l, void *c) { static_cast<std::vector<std::string> *>(c)->emplace_back(l); }, &got);
  };
  // A line split over three blocks arrives once, whole; CR LF keeps its CR.
  feed("100 a h\tx m");
  feed("ore;S x\r");
  feed("\n101 b");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "100 a h\tx more;S x\r");
  // A block ending exactly at an LF leaves nothing carried.
  feed(" c\n");
  EXPECT_EQ(got.back(), "101 b c");
  EXPECT_EQ(carry.length, 0);
  // A 10 KB line keeps its first 4096 characters; the next line is intact.
  feed(std::string(10240, 'z') + "\n102 next\n");
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[2], std::string(4096, 'z'));
  EXPECT_EQ(got[3], "102 next");
  // Binary bytes and empty lines pass through as lines of their own.
  feed(std::string("\x01\xff\x7f\n\n", 5));
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[4], "\x01\xff\x7f");
  EXPECT_EQ(got[5], "");
}

}  // namespace
