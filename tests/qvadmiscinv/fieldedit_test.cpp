// Editing values into cells: escaping, width, quoting, and the Japanese
// mode's widening of every half-width katakana and its sound marks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "qvadmiscinv_env.h"

namespace {

const char kLanguageKey[] = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion";

class FieldEdit : public ::testing::Test {
 protected:
  // The setting lives in the real registry on Win32: start and end without it.
  void SetUp() override { ClearLanguage(); }
  void TearDown() override { ClearLanguage(); }
  void ClearLanguage() {
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kLanguageKey, "DM Language");
    Qvad_InvContext()->LanguageRead = 0;
  }
  void SetLanguage(const char *language) {
    plat::RegistrySet(plat::RegRoot::LocalMachine, kLanguageKey, "DM Language", plat::kRegSz, language,
                      static_cast<std::uint32_t>(std::strlen(language) + 1));
    Qvad_InvContext()->LanguageRead = 0;
  }
  // The edited cell, or "<failed>".
  std::string Edit(const std::string &value, int width = 0, int quote = 0, QVAD_ERROR_TBL *err = nullptr) {
    INV_ITEM_DEF def{};
    def.Width = width;
    def.Quote = quote;
    INV_FIELD cell;
    std::memset(&cell, 0x7E, sizeof cell);
    QVAD_ERROR_TBL local{};
    if (!Qvad_GetFieldEdit(&def, value.c_str(), &cell, 1024, err ? err : &local)) return "<failed>";
    EXPECT_LT(strnlen(cell.Value, sizeof cell.Value), sizeof cell.Value);
    return cell.Value;
  }
  qvtest::InstallDir install_;
};

TEST_F(FieldEdit, EscapingWidthAndQuotes) {
  // No language setting at all: English mode, not a failure.
  EXPECT_EQ(Edit("O'Neil"), "O Neil");
  EXPECT_EQ(Qvad_InvContext()->JapaneseMode, 0);
  EXPECT_EQ(Edit("\"", 0, 1), "\"\"\"\"");
  EXPECT_EQ(Edit("a\"b"), "a\"\"b");
  EXPECT_EQ(Edit("abc", 5), "abc  ");
  EXPECT_EQ(Edit("abcdefg", 5), "abcde");
  EXPECT_EQ(Edit("", 3, 1), "\"   \"");
  EXPECT_EQ(Edit("\xB6\xDE"), "\xB6\xDE");  // katakana stays half-width
  EXPECT_EQ(Edit(std::string(1021, 'a'), 0, 1), "\"" + std::string(1021, 'a') + "\"");
  QVAD_ERROR_TBL err{};
  EXPECT_EQ(Edit(std::string(1022, 'a'), 0, 1, &err), "<failed>");
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(err.system_code, 87u);
  EXPECT_EQ(Edit(std::string(1024, 'a')), "<failed>");
  EXPECT_EQ(Edit(std::string(600, '"')), "<failed>");  // doubling would reach 1024
  EXPECT_EQ(Edit(std::string(511, '"')), std::string(1022, '"'));
  SetLanguage("ENGLISH");
  EXPECT_EQ(Edit("O'Neil"), "O Neil");
  SetLanguage("japanese");  // only the exact word switches
  EXPECT_EQ(Edit("O'Neil"), "O Neil");
}

TEST_F(FieldEdit, MissingSettingIsReadAndTracedOncePerRun) {
  InvRunContext *ctx = Qvad_InvContext();
  ASSERT_EQ(Qvad_TraceOpen(&ctx->ErrTrace, 0, kInvErrChannel), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Edit("O'Neil"), "O Neil");
  SetLanguage("JAPANESE");  // a change within the run is not seen...
  ctx->LanguageRead = 1;
  EXPECT_EQ(Edit("O'Neil"), "O Neil");
  EXPECT_EQ(Qvad_InvReadLanguage(), 1);  // ...until the next run reads it
  EXPECT_EQ(Edit("O'Neil"), "O\x81\x66Neil");
  Qvad_TraceClose(&ctx->ErrTrace, 0);
  std::memset(&ctx->ErrTrace, 0, sizeof ctx->ErrTrace);
  std::string trace = qvtest::ReadFile(install_.scratch().file(std::string(kInvErrChannel) + ".trc"));
  std::size_t first = trace.find("(Warning)QvadGetRegistryData(DM Language)");
  ASSERT_NE(first, std::string::npos) << trace;
  EXPECT_EQ(trace.find("(Warning)QvadGetRegistryData(DM Language)", first + 1), std::string::npos) << trace;
}

TEST_F(FieldEdit, JapaneseModeWidensEveryHalfWidthKatakana) {
  SetLanguage("JAPANESE");
  EXPECT_EQ(Edit("O'Neil"), "O\x81\x66Neil");
  EXPECT_EQ(Qvad_InvContext()->JapaneseMode, 1);
  std::string all;
  for (int c = 0xA1; c <= 0xDD; ++c) all += static_cast<char>(c);
  // Expected: the full-width forms by Unicode compatibility normalisation.
  EXPECT_EQ(Edit(all),
            "\x81\x42\x81\x75\x81\x76\x81\x41\x81\x45\x83\x92\x83\x40\x83\x42\x83\x44\x83\x46\x83\x48\x83\x83\x83\x85"
            "\x83\x87\x83\x62\x81\x5B\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\x83\x4A\x83\x4C\x83\x4E\x83\x50\x83\x52"
            "\x83\x54\x83\x56\x83\x58\x83\x5A\x83\x5C\x83\x5E\x83\x60\x83\x63\x83\x65\x83\x67\x83\x69\x83\x6A\x83\x6B"
            "\x83\x6C\x83\x6D\x83\x6E\x83\x71\x83\x74\x83\x77\x83\x7A\x83\x7D\x83\x7E\x83\x80\x83\x81\x83\x82\x83\x84"
            "\x83\x86\x83\x88\x83\x89\x83\x8A\x83\x8B\x83\x8C\x83\x8D\x83\x8F\x83\x93");
  struct {
    int base, mark;
    const char *wide;
  } voiced[] = {
      {0xB3, 0xDE, "\x83\x94"}, {0xB6, 0xDE, "\x83\x4B"}, {0xB7, 0xDE, "\x83\x4D"}, {0xB8, 0xDE, "\x83\x4F"},
      {0xB9, 0xDE, "\x83\x51"}, {0xBA, 0xDE, "\x83\x53"}, {0xBB, 0xDE, "\x83\x55"}, {0xBC, 0xDE, "\x83\x57"},
      {0xBD, 0xDE, "\x83\x59"}, {0xBE, 0xDE, "\x83\x5B"}, {0xBF, 0xDE, "\x83\x5D"}, {0xC0, 0xDE, "\x83\x5F"},
      {0xC1, 0xDE, "\x83\x61"}, {0xC2, 0xDE, "\x83\x64"}, {0xC3, 0xDE, "\x83\x66"}, {0xC4, 0xDE, "\x83\x68"},
      {0xCA, 0xDE, "\x83\x6F"}, {0xCA, 0xDF, "\x83\x70"}, {0xCB, 0xDE, "\x83\x72"}, {0xCB, 0xDF, "\x83\x73"},
      {0xCC, 0xDE, "\x83\x75"}, {0xCC, 0xDF, "\x83\x76"}, {0xCD, 0xDE, "\x83\x78"}, {0xCD, 0xDF, "\x83\x79"},
      {0xCE, 0xDE, "\x83\x7B"}, {0xCE, 0xDF, "\x83\x7C"},
  };
  for (auto &v : voiced) {
    std::string in = {static_cast<char>(v.base), static_cast<char>(v.mark)};
    EXPECT_EQ(Edit(in), v.wide) << std::hex << v.base << " " << v.mark;
  }
  EXPECT_EQ(Edit("\xDE\xB1"), "\x83\x41");                  // a mark at the start is dropped
  EXPECT_EQ(Edit("a\xDF"), "a");                            // and so after fewer than two bytes
  EXPECT_EQ(Edit("\x88\xA0\xB1"), "\x88\xA0\x83\x41");      // a double-byte character is kept whole
  EXPECT_EQ(Edit("ab\x88"), "ab");                          // a lead byte without its second byte is dropped
  EXPECT_EQ(Edit(std::string(511, '\xB1')).size(), 1022u);  // widened to 1022 bytes fits...
  EXPECT_EQ(Edit(std::string(512, '\xB1')), "<failed>");    // ...1024 does not
}

}  // namespace
