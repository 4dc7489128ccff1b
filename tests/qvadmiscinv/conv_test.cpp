// The conversions by keyword, with one rounding rule for halves everywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadconv.h"

namespace {

struct Result {
  int rc;
  std::string out;
  QVAD_ERROR_TBL err;
};

Result Conv(const char *keyword, const std::string &in, int size = 1024) {
  Result r{};
  char out[1100];
  std::memset(out, 0x7E, sizeof out);
  r.err.local_code = 99;
  r.rc = Qvad_ConvSelect(keyword, in.c_str(), out, size, &r.err);
  EXPECT_EQ(out[size], 0x7E);
  r.out = out;
  return r;
}

std::string Ok(const char *keyword, const std::string &in) {
  Result r = Conv(keyword, in);
  EXPECT_EQ(r.rc, 1) << keyword << " " << in;
  EXPECT_EQ(r.err.local_code, 0);
  return r.out;
}

TEST(Conversions, Numbers) {
  EXPECT_EQ(Ok("DTOI", "12.4"), "12");
  EXPECT_EQ(Ok("DTOI", "12.6"), "13");
  EXPECT_EQ(Ok("DTOI", "abc"), "0");
  EXPECT_EQ(Ok("DTOI", ""), "");
  EXPECT_EQ(Ok("DTOI", "  7.9kg"), "8");
  EXPECT_EQ(Ok("DTOI", "-0.4"), "0");
  EXPECT_EQ(Ok("DTOI", "inf"), "0");  // plain decimals only, on both platforms
  EXPECT_EQ(Ok("DTOI", "0x10"), "0");
  EXPECT_EQ(Ok("DTOI", "1e3"), "1000");
  EXPECT_EQ(Ok("BTOKB", "1023"), "1");
  EXPECT_EQ(Ok("BTOKB", "1048576"), "1024");
  EXPECT_EQ(Ok("BTOKB", "1536"), "2");
  EXPECT_EQ(Ok("MBTOB", "0.5"), "524288");
  EXPECT_EQ(Ok("MBTOB", "1.5"), "1572864");
  EXPECT_EQ(Ok("MBTOB", "4096"), "4294967296");  // beyond 32 bits
  EXPECT_EQ(Ok("MBTOB", "8796093022208"), "9223372036854775808");
  // Halves round away from zero in all three.
  EXPECT_EQ(Ok("DTOI", "2.5"), "3");
  EXPECT_EQ(Ok("DTOI", "3.5"), "4");
  EXPECT_EQ(Ok("DTOI", "-2.5"), "-3");
  EXPECT_EQ(Ok("BTOKB", "2560"), "3");
  EXPECT_EQ(Ok("BTOKB", "512"), "1");
  EXPECT_EQ(Ok("MBTOB", "0.00000095367431640625"), "1");  // exactly half a byte
  Result r = Conv("DTOI", "1e400");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.err.local_code, 22);
  r = Conv("MBTOB", "4096", 10);  // 10 digits do not fit 10 bytes
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.err.system_code, 87u);
}

TEST(Conversions, Texts) {
  EXPECT_EQ(Ok("REMOVE", "00:0a:95:9d:68:16"), "000a959d6816");
  EXPECT_EQ(Ok("REMOVE", "a:\"b:c\":d"), "a\"b:c\"d");
  EXPECT_EQ(Ok("RMYEN", "D:\\temp\\"), "D:\\temp");
  EXPECT_EQ(Ok("RMYEN", "D:\\\\"), "D:\\");
  EXPECT_EQ(Ok("RMYEN", ""), "");
  EXPECT_EQ(Ok("SEPARATE", "a b  c\td"), "a;b;;c\td");
  EXPECT_EQ(Ok("RMHEX", "0x1F"), "1F");
  EXPECT_EQ(Ok("RMHEX", "0X1F"), "0X1F");
  EXPECT_EQ(Ok("RMHEX", "x1F"), "x1F");
  EXPECT_EQ(Ok("RMHEX", "0"), "0");
  EXPECT_EQ(Ok("UPPERCASE", "abc-Z\xE0"), "ABC-Z\xE0");
  EXPECT_EQ(Ok("LOWERCASE", "ABC"), "abc");
  Result r = Conv("dtoi", "1");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.err.local_code, 22);
  EXPECT_EQ(r.err.system_code, 87u);
  EXPECT_STREQ(r.err.label, "QVAD_ERROR_TBL");
  EXPECT_EQ(r.out, "");
  r = Conv("SEPARATE", std::string(1024, 'a'));
  EXPECT_EQ(r.rc, 0);
  r = Conv("UPPERCASE", std::string(1023, 'a'));
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, std::string(1023, 'A'));
}

}  // namespace
