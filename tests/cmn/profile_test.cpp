// The profile reader on hand-edited files: names, blanks, quotes, listings,
// truncation, integers, and re-reading a file that changed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "cmn/qvadprofile.h"
#include "profile_cases.h"
#include "testutil.h"

namespace {

class Profile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvtest::WriteFile(path_, qvtest::kTrickyProfile)); }

  std::string Get(const char *section, const char *key, const char *def = "", unsigned size = 256,
                  std::uint32_t *ret = nullptr) {
    char buf[1100];
    std::memset(buf, 0x7E, sizeof buf);
    std::uint32_t n = QvadGetPrivateProfileString(section, key, def, buf, size, path_.c_str());
    if (ret) *ret = n;
    EXPECT_EQ(buf[size], 0x7E) << "wrote past the buffer";
    return std::string(buf, n);
  }
  int Int(const char *key, int def = -1) {
    return static_cast<int>(QvadGetPrivateProfileInt("General", key, def, path_.c_str()));
  }

  qvtest::ScratchDir dir_{"profile"};
  std::string path_ = dir_.file("RazInv.ini");
};

TEST_F(Profile, NamesBlanksAndQuotes) {
  EXPECT_EQ(Get("General", "Type"), "1");
  EXPECT_EQ(Get("gEnErAl", "TYPE"), "1");
  EXPECT_EQ(Get(" General ", " Type "), "1");
  EXPECT_EQ(Get("General", "spaced key"), "spaced value");
  EXPECT_EQ(Get("General", "quoted"), "in quotes");
  EXPECT_EQ(Get("General", "single"), "in single quotes");
  EXPECT_EQ(Get("General", "mixed"), "\"not matching'");
  EXPECT_EQ(Get("General", "onequote"), "\"");
  EXPECT_EQ(Get("General", "twoquotes", "d"), "");
  EXPECT_EQ(Get("General", "equals"), "a=b=c");
  EXPECT_EQ(Get("General", "tab"), "x");
  EXPECT_EQ(Get("General", "dup"), "first");
  // The first of two sections of the same name is the one read.
  EXPECT_EQ(Get("General", "other", "dflt"), "dflt");
  EXPECT_EQ(Get("Spaced", "k", "d"), "v");  // blanks inside the brackets do not count
  EXPECT_EQ(Get(" spaced ", "k", "d"), "v");
  EXPECT_EQ(Get("LF only", "b"), "2");
  EXPECT_EQ(Get("Table", "last"), "no line end");
  EXPECT_EQ(Get("", "stray", "d"), "before sections");
}

TEST_F(Profile, DefaultsAndTruncation) {
  std::uint32_t n = 0;
  EXPECT_EQ(Get("General", "empty", "dflt"), "");
  EXPECT_EQ(Get("General", "novalue", "dflt"), "dflt");
  EXPECT_EQ(Get("General", ";commented", "x"), "yes");
  EXPECT_EQ(Get("General", "missing", "dflt  "), "dflt");
  EXPECT_EQ(Get("General", "missing", "\"q\""), "q");
  EXPECT_EQ(Get("General", "missing", nullptr), "");
  EXPECT_EQ(Get("General", "Spaced Key", "", 5, &n), "spac");
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(Get("General", "quoted", "", 4, &n), "in ");
  EXPECT_EQ(Get("General", "quoted", "", 10, &n), "in quotes");
  EXPECT_EQ(Get("General", "Type", "", 1, &n), "");
  EXPECT_EQ(n, 0u);
  char untouched = 'z';
  EXPECT_EQ(QvadGetPrivateProfileString("General", "Type", "", &untouched, 0, path_.c_str()), 0u);
  EXPECT_EQ(untouched, 'z');
  // A file that cannot be read gives the default, as a missing key does.
  char buf[16];
  EXPECT_EQ(QvadGetPrivateProfileString("General", "Type", "\"d\"", buf, sizeof buf, dir_.file("none.ini").c_str()),
            1u);
  EXPECT_STREQ(buf, "d");
}

TEST_F(Profile, Listings) {
  std::uint32_t n = 0;
  EXPECT_EQ(Get("Table", nullptr, "", 256, &n), std::string("cpu\0disk\0NODE\0last\0", 19));
  EXPECT_EQ(n, 19u);
  // Too small: the last name is cut and two NULs end the buffer.
  char buf[32];
  std::memset(buf, 0x7E, sizeof buf);
  EXPECT_EQ(QvadGetPrivateProfileString("table", nullptr, "", buf, 12, path_.c_str()), 10u);
  EXPECT_EQ(std::string(buf, 12), std::string("cpu\0disk\0N\0\0", 12));
  EXPECT_EQ(buf[12], 0x7E);
  // Comments and lines without "=" are not listed.
  std::string general = Get("General", nullptr, "", 1024);
  EXPECT_EQ(general.find("novalue"), std::string::npos);
  EXPECT_EQ(general.find(";commented"), std::string::npos);
  EXPECT_NE(general.find(std::string("dup\0DUP\0", 8)), std::string::npos);
  EXPECT_EQ(Get("Empty", nullptr, "none"), "none");
  std::string sections = Get(nullptr, nullptr, "", 1024);
  EXPECT_EQ(sections, std::string("General\0Spaced\0general\0Empty\0LF only\0Table\0", 43));
}

TEST_F(Profile, Integers) {
  EXPECT_EQ(Int("Type"), 1);
  EXPECT_EQ(Int("neg"), -42);
  EXPECT_EQ(Int("plus"), 17);
  EXPECT_EQ(Int("lead"), 12);
  EXPECT_EQ(Int("word"), 0);
  EXPECT_EQ(Int("blank"), 7);
  EXPECT_EQ(Int("hex"), 16);
  EXPECT_EQ(Int("octal"), 15);
  EXPECT_EQ(Int("binary"), -5);
  EXPECT_EQ(Int("upperhex"), 0);
  EXPECT_EQ(Int("hexdigits"), 31);
  EXPECT_EQ(Int("big"), 1);  // wraps at 32 bits, as the platform's reader does
  EXPECT_EQ(Int("empty", 5), 5);
  EXPECT_EQ(Int("novalue", 5), 5);
  EXPECT_EQ(Int("missing", -1), -1);
  EXPECT_EQ(static_cast<int>(QvadGetPrivateProfileInt("General", "Type", 9, dir_.file("none.ini").c_str())), 9);
}

TEST_F(Profile, ChangedFileIsReadAgain) {
  EXPECT_EQ(Get("General", "Type"), "1");
  // Same size, new content, and a modification time moved back so that the
  // cache would trust it if it only compared sizes.
  std::string changed = qvtest::kTrickyProfile;
  changed[changed.find("Type=1") + 5] = '3';
  ASSERT_TRUE(qvtest::WriteFile(path_, changed));
  std::filesystem::last_write_time(path_, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_EQ(Get("General", "Type"), "3");
  EXPECT_EQ(Get("General", "Type"), "3");
  ASSERT_TRUE(qvtest::WriteFile(path_, "[General]\r\nType=2\r\n"));
  EXPECT_EQ(Get("General", "Type"), "2");
  std::filesystem::remove(path_);
  EXPECT_EQ(Get("General", "Type", "gone"), "gone");
}

}  // namespace
