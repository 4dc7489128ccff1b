// Every macro through its dispatcher on small result files, and text rows
// over a text source with either line end.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "qvadmiscinv_env.h"

namespace {

class HwMacro : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.WriteResult("disp", "host2,800,600,800 x 600 x 16\r\nhost1,1024,768,1024 x 768 x 32\r\n");
    install_.WriteResult("four", "h,,\nh,1,800 x 600 x\n");
    install_.WriteResult("cpu", "host1,,Xeon,3.0\nhost1,Intel,,2.4GHz\nhost2,AMD,Epyc,2.0\nhost2,AMD,Epyc,2.0");
    install_.WriteResult("disk", "host1,100\nhost1,\nhost1,\"250\"\nhost2,999\n");
    install_.WriteResult("d", "host2,9,9,9,9,9\nhost1,1.5,2,\"C:\",NTFS,\n");
    install_.WriteResult("big", "host1,2147483647\nhost1,2147483647\nhost1,10\n");
    install_.WriteResult("empty", "");
  }
  int Run(const char *macro, std::string &out, int conv = 0, const char *keyword = "") {
    char buf[1024];
    std::memset(buf, 0x7E, sizeof buf);
    err_ = QVAD_ERROR_TBL{};
    int rc = Qvad_MacroHwSelect(macro, conv, keyword, install_.hard().c_str(), buf, sizeof buf, &err_);
    out = rc == 0 ? buf : "";
    return rc;
  }
  std::string Ok(const char *macro, int conv = 0, const char *keyword = "") {
    std::string out;
    EXPECT_EQ(Run(macro, out, conv, keyword), 0) << macro;
    return out;
  }
  int Fails(const char *macro) {
    std::string out;
    int rc = Run(macro, out);
    EXPECT_NE(rc, 0) << macro;
    return rc;
  }
  qvtest::InstallDir install_;
  QVAD_ERROR_TBL err_{};
};

TEST_F(HwMacro, ValuesOfEachMacro) {
  EXPECT_EQ(Ok("DISPLAY(disp:2,disp:3)"), "800X600");
  EXPECT_EQ(Ok("DISPLAY(disp:2,disp:1=host1)"), "1024");
  EXPECT_EQ(Ok("DISPLAY(disp:2,disp:3=768)"), "1024");             // the last argument filters only
  EXPECT_EQ(Ok("CPUDETAIL(cpu:2,cpu:3,cpu:4)"), "Intel  2.4GHz");  // first line with argument 1 set
  EXPECT_EQ(Ok("CPUDETAIL(cpu:2,cpu:3,cpu:1=host2)"), "AMD Epyc");
  EXPECT_EQ(Ok("CPUDETAIL(cpu:2,cpu:0,cpu:x)"), "Intel  ");  // column 0: an empty value
  EXPECT_EQ(Ok("COLOR(disp:4)"), "16");
  EXPECT_EQ(Ok("COLOR(disp:4=1024 x 768 x 32)"), "32");
  EXPECT_EQ(Ok("CPUNUM(cpu:1)"), "4");  // the last line has no line feed and still counts
  EXPECT_EQ(Ok("TOTALSIZE(disk:2,disk:1=host1)"), "350");
  EXPECT_EQ(Ok("TOTALSIZE(disk:2,disk:1=host3)"), "0");
  EXPECT_EQ(Ok("TOTALSIZE(big:2,big:1=host1)"), "4294967304");  // beyond 32 bits
  EXPECT_EQ(Ok("DRIVE(d:2,d:3,d:4,d:5,d:6,d:1=host1)"), "1572864,2097152,C:,NTFS,");
  EXPECT_EQ(Ok("DRIVE(d:2,d:0,d:4,d:5,d:6,d:1=host1)"), "1572864,,C:,NTFS,");
  EXPECT_EQ(Ok("CPUNUM(cpu:1)", 1, "DTOI"), "4");
  EXPECT_EQ(Ok("DISPLAY(disp:2,disp:3)", 1, "LOWERCASE"), "800x600");
  std::string t = Ok("TIMEGET()");
  EXPECT_TRUE(std::regex_match(t, std::regex(R"(20\d\d/[01]\d/[0-3]\d [0-2]\d:[0-5]\d:[0-6]\d)"))) << t;
}

TEST_F(HwMacro, Failures) {
  EXPECT_EQ(Fails("DISPLAY(disp:2,disp:3,disp:4)"), -3);
  EXPECT_EQ(err_.local_code, 22);
  EXPECT_EQ(err_.system_code, 87u);
  EXPECT_EQ(Fails("COLOR(four:3)"), -3);  // four words only
  EXPECT_EQ(Fails("CPUNUM(empty:1)"), -3);
  EXPECT_EQ(Fails("timeget()"), -3);
  EXPECT_EQ(Fails("TOTALSIZE(disk:2,disk:1)"), -3);        // the filter is required
  EXPECT_EQ(Fails("TOTALSIZE(disk:7,disk:1=host1)"), -3);  // no such column
  EXPECT_EQ(Fails("DRIVE(d:2,d:3,d:4,d:5,d:6,d:1=host9)"), -3);
  EXPECT_EQ(Fails("DISPLAY(disp:9,disp:3)"), -3);
  EXPECT_EQ(Fails("CPUNUM(none:1)"), -1);
  EXPECT_EQ(err_.local_code, 2);
  EXPECT_EQ(Fails("DISPLAY(none:1,none:2)"), -1);
}

TEST_F(HwMacro, OneReadPerFileWithinAScope) {
  install_.WriteResult("bad", "host1,1\n" + std::string(10240, 'x') + "\nhost1,2\n");
  {
    QvadResultCacheScope scope;
    for (int pass = 0; pass < 2; ++pass) {  // the second pass replays the kept lines
      EXPECT_EQ(Ok("DISPLAY(disp:2,disp:3)"), "800X600");
      EXPECT_EQ(Ok("CPUNUM(cpu:1)"), "4");
      EXPECT_EQ(Ok("TOTALSIZE(disk:2,disk:1=host1)"), "350");
      EXPECT_EQ(Ok("DRIVE(d:2,d:3,d:4,d:5,d:6,d:1=host1)"), "1572864,2097152,C:,NTFS,");
      EXPECT_EQ(Fails("CPUNUM(bad:1)"), -1);  // the read failure replays too
      EXPECT_EQ(err_.local_code, 3);
      EXPECT_EQ(Fails("CPUNUM(none:1)"), -1);
    }
    install_.WriteResult("cpu", "host9,x\n");
    EXPECT_EQ(Ok("CPUNUM(cpu:1)"), "4");  // kept until the scope ends
  }
  EXPECT_EQ(Ok("CPUNUM(cpu:1)"), "1");
}

class TextRows : public ::testing::Test {
 protected:
  // Rows of the source as the collection builds them, "|" between cells.
  std::vector<std::string> Rows(const std::vector<std::pair<int, std::string>> &cells, const std::string &source,
                                int *last, std::vector<int> *failed = nullptr) {
    qvtest::WriteFile(path_, source);
    std::vector<INV_ITEM_DEF> defs(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      defs[i].Type = cells[i].first;
      std::strcpy(defs[i].Text, cells[i].second.c_str());
    }
    std::vector<INV_FIELD> row(cells.size());
    std::vector<std::string> rows;
    std::int64_t offset = 0;
    for (int n = 1; n < 100; ++n) {
      std::int64_t consumed = -1;
      INI_ERROR_NODE *errors = nullptr;
      *last = Qvad_GetTextInv(defs.data(), row.data(), static_cast<std::int32_t>(defs.size()), path_.c_str(), n, offset,
                              &consumed, &errors);
      for (INI_ERROR_NODE *e = errors; e; e = e->Next)
        if (failed) failed->push_back(e->IniCnt);
      Qvad_IniErrorFree(&errors);
      if (*last != 0) break;
      std::string r;
      for (auto &c : row) {
        EXPECT_EQ(c.Length, std::strlen(c.Value));
        r += (r.empty() ? "" : "|") + std::string(c.Value);
      }
      rows.push_back(r);
      offset += consumed;
    }
    return rows;
  }
  qvtest::InstallDir install_;
  std::string path_ = install_.hard() + "text.csv";
};

TEST_F(TextRows, EachLineOnceWithEitherLineEnd) {
  int last = 0;
  auto rows = Rows({{2, "LINE()"}, {2, "TEXT()"}, {2, "FNAME()"}, {1, "lit"}}, "a,1\r\nb\nlast", &last);
  EXPECT_EQ(last, 1);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "1|a,1\n|" + path_ + "|lit");
  EXPECT_EQ(rows[1], "2|b\n|" + path_ + "|lit");
  EXPECT_EQ(rows[2], "3|last|" + path_ + "|lit");
  // Long lines are cut to 563 characters.
  rows = Rows({{2, "TEXT()"}}, std::string(600, 'x') + "\nnext\n", &last);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], std::string(563, 'x'));
  EXPECT_EQ(rows[1], "next\n");
}

TEST_F(TextRows, SetWithoutTextEndsWithTheSource) {
  int last = 0;
  auto rows = Rows({{2, "LINE()"}, {1, "x"}}, "a\r\nb\r\nc\r\n", &last);
  EXPECT_EQ(last, 1);
  EXPECT_EQ(rows, (std::vector<std::string>{"1|x", "2|x", "3|x"}));
}

TEST_F(TextRows, FailingDefinitions) {
  int last = 0;
  std::vector<int> failed;
  auto rows = Rows({{2, "TEXT()"}, {0, ""}}, "a\nb\n", &last, &failed);
  EXPECT_EQ(last, -1);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(failed, std::vector<int>{2});
  failed.clear();
  Rows({{2, "TEXT()"}, {2, "NOPE()"}}, "a\n", &last, &failed);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(failed, std::vector<int>{2});
  // Past the end of the source TEXT gives 1; a missing source is a failure.
  char out[564];
  std::int64_t consumed = 0;
  QVAD_ERROR_TBL err{};
  EXPECT_EQ(Qvad_MacroTextSelect("TEXT()", path_.c_str(), 9, 1000, &consumed, out, sizeof out, &err), 1);
  EXPECT_EQ(Qvad_MacroTextSelect("TEXT()", (path_ + "x").c_str(), 1, 0, &consumed, out, sizeof out, &err), -1);
  EXPECT_EQ(err.local_code, 2);
  EXPECT_EQ(Qvad_MacroTextSelect("LINE()", path_.c_str(), 12, 0, &consumed, out, sizeof out, &err), 0);
  EXPECT_STREQ(out, "12");
}

}  // namespace
