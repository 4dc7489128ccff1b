// The setup tools' option parser and log writer, called directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmn/qvadtool/qvadtool.h"
#include "platform/exitstatus.h"
#include "testutil.h"

namespace {

// One parse of a word list from the start; each result as "letter=arg",
// "?" or "?=arg", ending at -1.
struct Parse {
  std::vector<std::string> words;
  std::vector<char *> argv;
  explicit Parse(std::vector<std::string> w) : words(std::move(w)) {
    for (auto &s : words) argv.push_back(s.data());
    argv.push_back(nullptr);
  }
  std::vector<std::string> Run(const char *options) {
    OptInd = 1;
    NextChar = nullptr;
    std::vector<std::string> out;
    for (int guard = 0; guard < 20; ++guard) {
      int c = Qvad_GetOpt(static_cast<int>(words.size()), argv.data(), options);
      if (c == -1) break;
      std::string r(1, static_cast<char>(c));
      if (OptArg != nullptr) r += "=" + std::string(OptArg);
      out.push_back(r);
    }
    return out;
  }
};

using V = std::vector<std::string>;

TEST(GetOpt, ArgumentInTheSameWordOrTheNext) {
  Parse a({"t", "-pvalue", "-o", "log"});
  EXPECT_EQ(a.Run("p:o:"), (V{"p=value", "o=log"}));
  EXPECT_EQ(OptInd, 4);
  Parse b({"t", "-p", "value"});
  EXPECT_EQ(b.Run("p:o:"), (V{"p=value"}));
  EXPECT_EQ(OptInd, 3);
}

TEST(GetOpt, ArgumentStartingWithDashIsRefused) {
  // "-o" is never taken as the value of -p; the parser moves on past -p only.
  Parse a({"t", "-p", "-o", "log"});
  EXPECT_EQ(a.Run("p:o:"), (V{"?=-o", "o=log"}));
  Parse b({"t", "-p-x"});
  EXPECT_EQ(b.Run("p:o:"), (V{"?=-x"}));
}

TEST(GetOpt, MissingArgumentUnknownLetterDashAndDashDash) {
  Parse a({"t", "-p"});
  EXPECT_EQ(a.Run("p:o:"), (V{"?"}));
  EXPECT_EQ(OptInd, 2);
  Parse b({"t", "-x", "-p", "v"});
  EXPECT_EQ(b.Run("p:o:"), (V{"?", "p=v"}));
  Parse c({"t", "-", "--", "-:"});
  EXPECT_EQ(c.Run("p:o:"), (V{"?", "?", "?"}));
}

TEST(GetOpt, BareWordEndsTheOptions) {
  Parse a({"t", "word", "-p", "x"});
  EXPECT_EQ(a.Run("p:o:"), V{});
  EXPECT_EQ(OptInd, 1);
  Parse b({"t", "-p", "x", "word", "-o", "log"});
  EXPECT_EQ(b.Run("p:o:"), (V{"p=x"}));
  EXPECT_EQ(OptInd, 3);
}

TEST(GetOpt, LettersWithoutArgumentShareAWord) {
  Parse a({"t", "-abp", "v", "-c"});
  EXPECT_EQ(a.Run("abcp:"), (V{"a", "b", "p=v", "c"}));
  EXPECT_EQ(OptInd, 4);
}

TEST(GetOpt, HighBytesComeBackSignExtended) {
  Parse a({"t", "-\xE9"});
  OptInd = 1;
  NextChar = nullptr;
  EXPECT_EQ(Qvad_GetOpt(2, a.argv.data(), "\xE9"), static_cast<int>(static_cast<signed char>('\xE9')));
}

TEST(LogFile, HoldsExactlyTheTextAndReportsFailures) {
  qvtest::ScratchDir dir("logfile");
  std::string path = dir.file("log.txt");
  ASSERT_TRUE(qvtest::WriteFile(path, "an older and much longer message"));
  EXPECT_EQ(Qvad_WriteLogFile(path.c_str(), "short"), 0);
  EXPECT_EQ(qvtest::ReadFile(path), "short");
  EXPECT_EQ(Qvad_WriteLogFile(dir.file("no-such-dir/log.txt").c_str(), "x"), 2);
}

TEST(CopyOptArg, RefusesWhatDoesNotFitAndKeepsTheBuffer) {
  char buf[4] = {'a', 'b', 'c', '\0'};
  EXPECT_FALSE(Qvad_CopyOptArg(buf, sizeof buf, "wxyz"));
  EXPECT_STREQ(buf, "abc");
  EXPECT_TRUE(Qvad_CopyOptArg(buf, sizeof buf, "xyz"));
  EXPECT_STREQ(buf, "xyz");
  EXPECT_TRUE(Qvad_CopyOptArg(buf, sizeof buf, ""));
  EXPECT_STREQ(buf, "");
}

TEST(ExitStatus, SmallCodesPassAndLargeOnesNeverReadAsSuccessOrUsage) {
  for (std::uint32_t code : {0u, 1u, 2u, 4u, 22u, 220u, 255u})
    EXPECT_EQ(plat::ExitStatus(code), static_cast<int>(code));
  for (std::uint32_t code = 256; code < 5000; ++code) {
    int seen = plat::ExitStatus(code);
    EXPECT_NE(seen, 0) << code;
    EXPECT_NE(seen, 22) << code;
  }
}

}  // namespace
