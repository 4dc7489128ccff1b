// The profile reader against the platform's own GetPrivateProfileStringA and
// GetPrivateProfileIntA on the same awkward files: both must agree.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "cmn/qvadprofile.h"
#include "tests/cmn/profile_cases.h"
#include "testutil.h"

namespace {

std::string Describe(const qvtest::ProfileQuery &q) {
  return std::string("[") + (q.section ? q.section : "(null)") + "] " + (q.key ? q.key : "(null)") +
         " default=" + (q.def ? q.def : "(null)") + " size=" + std::to_string(q.size);
}

void CompareOn(const std::string &path, const std::vector<qvtest::ProfileQuery> &queries,
               const std::vector<const char *> &int_keys) {
  for (const auto &q : queries) {
    char ours[1100], theirs[1100];
    std::memset(ours, 0x7E, sizeof ours);
    std::memset(theirs, 0x7E, sizeof theirs);
    std::uint32_t a = QvadGetPrivateProfileString(q.section, q.key, q.def, ours, q.size, path.c_str());
    DWORD b = GetPrivateProfileStringA(q.section, q.key, q.def, theirs, q.size, path.c_str());
    EXPECT_EQ(a, b) << Describe(q);
    // The whole buffer: listings end in two NULs, and nothing past the size.
    // One difference is ours: a list cut short still ends in two NULs, where
    // the platform leaves the last byte of the buffer as it was.
    std::size_t compare = q.size + 1;
    if ((q.section == nullptr || q.key == nullptr) && a == q.size - 2) compare = a + 1;
    EXPECT_EQ(std::string(ours, compare), std::string(theirs, compare)) << Describe(q);
    EXPECT_EQ(ours[q.size], 0x7E) << Describe(q);
  }
  for (const char *key : int_keys) {
    for (int def : {-1, 0, 77}) {
      EXPECT_EQ(QvadGetPrivateProfileInt("General", key, def, path.c_str()),
                GetPrivateProfileIntA("General", key, def, path.c_str()))
          << key << " default " << def;
    }
  }
}

TEST(ProfileAgainstPlatform, TrickyFile) {
  qvtest::ScratchDir dir("profile-wine");
  std::string path = dir.file("tricky.ini");
  ASSERT_TRUE(qvtest::WriteFile(path, qvtest::kTrickyProfile));
  CompareOn(path, qvtest::TrickyStringQueries(), qvtest::TrickyIntKeys());
  CompareOn(path, qvtest::TrickyStringQueries(), {"Type"});  // read again from the cache
}

TEST(ProfileAgainstPlatform, MissingFileAndLineEnds) {
  qvtest::ScratchDir dir("profile-wine2");
  std::vector<qvtest::ProfileQuery> q = {{"General", "Type", "dflt", 64},
                                         {"General", "Type", "\"q\"", 64},
                                         {"General", nullptr, "x", 64},
                                         {nullptr, nullptr, "", 64}};
  CompareOn(dir.file("missing.ini"), q, {"Type"});
  std::string lf = dir.file("lf.ini");
  ASSERT_TRUE(qvtest::WriteFile(lf, "[General]\nType = 2 \n\n[Other]\rType=3\r"));
  CompareOn(lf, q, {"Type"});
}

}  // namespace
