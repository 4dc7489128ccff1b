// The splitter, counter, quote strippers and line reader at their limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmn/qvadmiscinv/qvadfield.h"
#include "testutil.h"

namespace {

std::string Split(const char *text, int n, int size, int *rc, char sep = ',') {
  char buf[64];
  std::memset(buf, 0x7E, sizeof buf);
  *rc = Qvad_FieldSplit(text, sep, n, buf, size);
  EXPECT_EQ(buf[size], 0x7E) << "wrote past the buffer";
  EXPECT_LT(strnlen(buf, static_cast<std::size_t>(size)), static_cast<std::size_t>(size)) << "left unterminated";
  return buf;
}

TEST(FieldSplit, QuotesEmptyFieldsAndLimits) {
  int rc = 0;
  const char *line = "a,\"b,c\",d\n,ignored";
  EXPECT_EQ(Qvad_FieldCount(line), 3);
  EXPECT_EQ(Split(line, 2, 32, &rc), "\"b,c\"");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(Split(line, 3, 32, &rc), "d");
  EXPECT_EQ(Split(line, 4, 32, &rc), "");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Split(line, 0, 32, &rc), "");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Split("a,,b", 2, 32, &rc), "");
  EXPECT_EQ(rc, 1);
  // s-1 characters fit, s do not (also for the last field of the line).
  EXPECT_EQ(Split("abcd,x", 1, 5, &rc), "abcd");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(Split("abcde,x", 1, 5, &rc), "abcd");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Split("x,abcd\n", 2, 5, &rc), "abcd");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(Split("x,abcde", 2, 5, &rc), "abcd");
  EXPECT_EQ(rc, 0);
  // The quote state starts afresh in every field; other separators work alike.
  EXPECT_EQ(Split("a\"b:c\":d", 2, 32, &rc, ':'), "d");
  EXPECT_EQ(Split("1024 x 768 x 32", 5, 32, &rc, ' '), "32");
  EXPECT_EQ(Qvad_FieldCount(""), 0);
  EXPECT_EQ(Qvad_FieldCount("\n"), 1);
  EXPECT_EQ(Qvad_FieldCount("\"a,b"), 1);  // an open quote runs to the end
}

TEST(FieldSplit, QuoteStrippers) {
  char a[] = "\"\"", b[] = "\"x\"", c[] = "\"", d[] = "\"x", e[] = "";
  for (char *t : {a, b, c, d, e}) EXPECT_EQ(Qvad_StripQuotes(t), 1);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "x");
  EXPECT_STREQ(c, "\"");  // a lone quote is not a quoted value
  EXPECT_STREQ(d, "\"x");
  EXPECT_EQ(Qvad_StripQuotes(nullptr), 0);
  for (const char *t : {"\"\"", "\"", "\"abc\"", "plain"}) {
    char *copy = nullptr;
    ASSERT_EQ(Qvad_DupStripQuotes(t, &copy), 1);
    char expect[16];
    std::strcpy(expect, t);
    Qvad_StripQuotes(expect);
    EXPECT_STREQ(copy, expect);
    std::free(copy);
  }
  char *copy = nullptr;
  EXPECT_EQ(Qvad_DupStripQuotes(nullptr, &copy), 0);
}

class LineReader : public ::testing::Test {
 protected:
  // Every line the reader delivers, then the final result.
  std::vector<std::string> ReadAll(const std::string &bytes, int *last, QVAD_ERROR_TBL *err) {
    EXPECT_TRUE(qvtest::WriteFile(path_, bytes));
    std::FILE *f = std::fopen(path_.c_str(), "rb");
    std::vector<std::string> lines;
    char *line = nullptr;
    while ((*last = Qvad_FieldGetMem(f, &line, err)) == 0) {
      lines.push_back(line);
      std::free(line);
    }
    EXPECT_EQ(line, nullptr);
    std::fclose(f);
    return lines;
  }
  qvtest::ScratchDir dir_{"lines"};
  std::string path_ = dir_.file("lines.csv");
};

TEST_F(LineReader, LineEndsAndLastLine) {
  int last = 0;
  QVAD_ERROR_TBL err{};
  auto lines = ReadAll("a,b\r\nc\n\nlast", &last, &err);
  EXPECT_EQ(last, 1);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a,b\n");
  EXPECT_EQ(lines[1], "c\n");
  EXPECT_EQ(lines[2], "\n");
  EXPECT_EQ(lines[3], "last");  // no line feed, delivered all the same
  EXPECT_TRUE(ReadAll("", &last, &err).empty());
  EXPECT_EQ(last, 1);
}

TEST_F(LineReader, TenChunksAndNoMore) {
  int last = 0;
  QVAD_ERROR_TBL err{};
  std::string longest(10229, 'x');
  auto lines = ReadAll(longest + "\nnext\n", &last, &err);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longest + "\n");
  EXPECT_EQ(lines[1], "next\n");
  EXPECT_EQ(ReadAll(std::string(10230, 'x'), &last, &err).size(), 1u);  // fills ten chunks, no line feed
  lines = ReadAll(std::string(10230, 'x') + "\n", &last, &err);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(last, -1);
  EXPECT_EQ(err.local_code, 3);
  EXPECT_EQ(err.system_code, 0u);
  EXPECT_STREQ(err.label, "QVAD_ERROR_TBL");
}

}  // namespace
