// Loading RazInv.ini: counts, settings, disabled entries, field references,
// conditions, machine IDs, and the four-table load with its reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "tests/qvadmiscinv/qvadmiscinv_env.h"

namespace {

struct Loaded {
  std::int32_t count = 0;
  INV_ITEM_DEF *table = nullptr;
  std::vector<std::pair<int, int>> errors;  // (IniCnt, local code)
  ~Loaded() { std::free(table); }
  bool HasError(int n) const {
    for (auto &e : errors)
      if (e.first == n) return true;
    return false;
  }
};

std::vector<std::pair<int, int>> Drain(INI_ERROR_NODE **list) {
  std::vector<std::pair<int, int>> out;
  for (INI_ERROR_NODE *e = *list; e; e = e->Next) {
    EXPECT_EQ(e->Error.system_code, 87u);
    out.emplace_back(e->IniCnt, e->Error.local_code);
  }
  Qvad_IniErrorFree(list);
  return out;
}

void Load(const std::string &file, int kind, Loaded &l) {
  INI_ERROR_NODE *errors = nullptr;
  l.count = Qvad_IniFileSet(file.c_str(), kind, &l.table, &errors);
  l.errors = Drain(&errors);
}

std::string Conds(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += (s.empty() ? "" : "&") + std::string("c:1=v") + std::to_string(i);
  return s;
}

class Definitions : public ::testing::Test {
 protected:
  // Each report carries its identifier and insertion strings, in order.
  void ExpectEvents(const std::vector<std::vector<std::string>> &expected) {
    auto events = install_.Events();
    if (!events) return;  // the platform's own event log
    ASSERT_EQ(events->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      std::size_t at = 0;
      for (const std::string &piece : expected[i]) {
        at = (*events)[i].find(piece, at);
        EXPECT_NE(at, std::string::npos) << (*events)[i] << " lacks " << piece;
      }
    }
  }
  qvtest::InstallDir install_;
};

TEST_F(Definitions, DefaultCountAndMissingSettingKey) {
  install_.WriteRazInv("[HardwareSetting]\r\n2=1,0,0,0,0\r\n");
  Loaded l;
  Load(install_.etc("RazInv.ini"), kInvKindHardware, l);
  EXPECT_EQ(l.count, -1);
  EXPECT_NE(l.table, nullptr);  // handed over all the same
  ASSERT_EQ(l.errors.size(), 1u);
  EXPECT_EQ(l.errors[0], std::make_pair(1, 1));

  std::string ini = "[TextSetting]\r\n";
  for (int i = 1; i <= 9; ++i) ini += std::to_string(i) + "=1,0,0,0,0\r\n";
  install_.WriteRazInv(ini);
  Loaded t;
  Load(install_.etc("RazInv.ini"), kInvKindText, t);
  EXPECT_EQ(t.count, 9);
  EXPECT_TRUE(t.errors.empty());
  EXPECT_EQ(t.table[8].Type, 1);
}

TEST_F(Definitions, SettingsAndValues) {
  std::string long64(64, 'L'), long63(63, 'L');
  install_.WriteRazInv(
      "[HardwareSetting]\r\ncount=20\r\n"
      "1=3,0,1,0,0\r\n2=3,0,1,0\r\n3=1,10,0,1,0\r\n4=1,10,0,1,0\r\n5=3,0,0,0,1\r\n"
      "6=3,0,0,0,0\r\n7=3,0,0,0,0\r\n8=3,0,0,0,0\r\n9=3,0,0,0,0\r\n10=3,0,0,0,0\r\n"
      "11=3,0,0,0,0\r\n12=3,0,0,0,0\r\n13=1,1024,0,0,0\r\n14=1,1023,0,0,0\r\n15=1,0,0,0,1\r\n"
      "16=2,0,0,0,0\r\n17=3,0,0,0,0\r\n18=3,0,0,0,0\r\n19=1x,-3,,0,0\r\n20=1x,x,0,0,0\r\n"
      "[HardwareSeparator]\r\n4=47\r\n"
      "[HardwareConvert]\r\n5=MBTOB\r\n"
      "[HardwareInventory]\r\n"
      "1=cpu:3\r\n3=x\r\n4=lit\r\n5=cpu:3,cpu:1=host1&cpu:2=\"x\",ignored\r\n"
      "6=cpu:3,a:1=x&&b:2=y\r\n7=cpu:3," +
      Conds(1, 10) + "&\r\n8=cpu:3," + Conds(1, 10) +
      "\r\n"
      "9=cpu:" +
      long64 +
      ":5\r\n10=\"a:b\":2\r\n11=1:2:3:4:5:6:7:8:9:10:11\r\n12=cpu:3,cpu:1\r\n"
      "13=x\r\n14=x\r\n16=TIMEGET()\r\n17=cpu:3,cpu:12345678=x\r\n20=" +
      std::string(511, 't') + "\r\n");
  Loaded l;
  Load(install_.etc("RazInv.ini"), kInvKindHardware, l);
  ASSERT_EQ(l.count, 20);
  INV_ITEM_DEF *d = l.table;
  // 3,0,1,0,0 with cpu:3: a quoted field, two parts, no conditions.
  EXPECT_EQ(d[0].Type, 3);
  EXPECT_EQ(d[0].Quote, 1);
  EXPECT_EQ(d[0].Acquire.Count, 2);
  EXPECT_STREQ(d[0].Acquire.Part[0], "cpu");
  EXPECT_STREQ(d[0].Acquire.Part[1], "3");
  EXPECT_EQ(d[0].CondCount, 0);
  // Four setting fields disable the entry; so does a missing separator code.
  EXPECT_EQ(d[1].Type, 0);
  EXPECT_TRUE(l.HasError(2));
  EXPECT_EQ(d[2].Type, 0);
  EXPECT_EQ(d[2].Width, 10);  // what was read before the failure stays
  EXPECT_TRUE(l.HasError(3));
  EXPECT_EQ(d[3].Type, 1);
  EXPECT_STREQ(d[3].Separator, "/");
  EXPECT_STREQ(d[3].Text, "lit");
  // Conditions, the third comma part ignored, quotes kept on the right side.
  EXPECT_EQ(d[4].Type, 3);
  EXPECT_STREQ(d[4].Convert, "MBTOB");
  ASSERT_EQ(d[4].CondCount, 2);
  EXPECT_STREQ(d[4].Cond[1].Left.Part[1], "2");
  EXPECT_STREQ(d[4].Cond[1].Right.Part[0], "\"x\"");
  // a:1=x&&b:2=y stops at the empty field: one condition, no error.
  EXPECT_EQ(d[5].Type, 3);
  EXPECT_EQ(d[5].CondCount, 1);
  // Eleven "&" fields (the last empty) disable; exactly ten do not.
  EXPECT_EQ(d[6].Type, 0);
  EXPECT_TRUE(l.HasError(7));
  EXPECT_EQ(d[7].Type, 3);
  EXPECT_EQ(d[7].CondCount, 10);
  EXPECT_STREQ(d[7].Cond[9].Right.Part[0], "v10");
  // A part of 64 characters silently ends the list before it.
  EXPECT_EQ(d[8].Type, 3);
  EXPECT_EQ(d[8].Acquire.Count, 1);
  EXPECT_FALSE(l.HasError(9));
  EXPECT_EQ(d[9].Acquire.Count, 2);
  EXPECT_STREQ(d[9].Acquire.Part[0], "\"a:b\"");
  EXPECT_EQ(d[10].Type, 0);  // eleven colon parts
  EXPECT_TRUE(l.HasError(11));
  EXPECT_EQ(d[11].Type, 0);  // condition without a right side
  EXPECT_TRUE(l.HasError(12));
  // Widths the cells cannot hold, and a missing conversion keyword.
  EXPECT_EQ(d[12].Type, 0);
  EXPECT_TRUE(l.HasError(13));
  EXPECT_EQ(d[13].Type, 1);
  EXPECT_EQ(d[13].Width, 1023);
  EXPECT_EQ(d[14].Type, 0);
  EXPECT_TRUE(l.HasError(15));
  EXPECT_EQ(d[15].Type, 2);
  EXPECT_STREQ(d[15].Text, "TIMEGET()");
  EXPECT_EQ(d[16].Type, 0);  // filter column too long for the line filter
  EXPECT_TRUE(l.HasError(17));
  EXPECT_EQ(d[17].Type, 3);  // no Inventory key: empty, no error
  EXPECT_FALSE(l.HasError(18));
  EXPECT_EQ(d[18].Type, 0);  // empty third field
  EXPECT_EQ(d[19].Type, 1);  // 1x reads as 1, x as 0
  EXPECT_EQ(d[19].Width, 0);
  EXPECT_EQ(std::string(d[19].Text).size(), 511u);
  for (int n : {1, 4, 5, 6, 8, 9, 10, 14, 16, 18, 20}) EXPECT_FALSE(l.HasError(n)) << n;
}

TEST_F(Definitions, LongLiteralIsRefused) {
  install_.WriteRazInv("[TextSetting]\r\ncount=2\r\n1=1,0,0,0,0\r\n2=2,0,0,0,0\r\n[TextInventory]\r\n1=" +
                       std::string(512, 'a') + "\r\n2=TEXT()\r\n");
  Loaded l;
  Load(install_.etc("RazInv.ini"), kInvKindText, l);
  ASSERT_EQ(l.count, 2);
  EXPECT_EQ(l.table[0].Type, 0);
  EXPECT_EQ(l.errors, (std::vector<std::pair<int, int>>{{1, 22}}));
  EXPECT_EQ(l.table[1].Type, 2);
}

TEST_F(Definitions, MachineSets) {
  install_.WriteRazInv(
      "[SingleRepMachineName]\r\ncount=7\r\n1=A\r\n2=B\r\n3=C\r\n4=D\r\n5=E\r\n7=G\r\n"
      "[SingleRepMachineID]\r\n1=cpu:2|5|7,cpu:1=X\r\n2=cpu:2||7\r\n3=" +
      std::string(64, 's') + ":2\r\n4=cpu:1|2|3|4|5|6|7|8|9|10\r\n5=cpu:2,cpu:1=\r\n7=cpu:3\r\n");
  MACHINE_DEF *t = nullptr;
  INI_ERROR_NODE *errors = nullptr;
  ASSERT_EQ(Qvad_IniMachineSet(install_.etc("RazInv.ini").c_str(), &t, 1, &errors), 7);
  auto errs = Drain(&errors);
  EXPECT_EQ(t[0].Valid, 1);
  EXPECT_EQ(t[0].Acquire.Count, 4);
  EXPECT_STREQ(t[0].Acquire.Part[3], "7");
  EXPECT_EQ(t[0].CondCount, 1);
  EXPECT_STREQ(t[0].Cond[0].Right.Part[0], "X");
  EXPECT_EQ(t[1].Valid, 1);
  EXPECT_EQ(t[1].Acquire.Count, 2);
  EXPECT_EQ(t[2].Valid, 0);  // stem too long for the table
  EXPECT_EQ(t[3].Valid, 0);  // ten columns
  EXPECT_EQ(t[4].Valid, 0);  // condition without a right side
  EXPECT_EQ(t[5].Valid, 0);  // no name, no ID: no error
  EXPECT_EQ(t[6].Valid, 1);
  EXPECT_EQ(errs, (std::vector<std::pair<int, int>>{{3, 22}, {4, 22}, {4, 22}, {5, 22}}));
  std::free(t);

  install_.WriteRazInv("[MultiRepMachineID]\r\n1=cpu:2\r\n");
  ASSERT_EQ(Qvad_IniMachineSet(install_.etc("RazInv.ini").c_str(), &t, 2, &errors), 16);
  EXPECT_EQ(t[0].Valid, 0);  // parses, but has no name
  EXPECT_EQ(t[0].Acquire.Count, 2);
  std::free(t);
  Qvad_IniErrorFree(&errors);
}

TEST_F(Definitions, FourTablesAndTheirReports) {
  install_.ClearEvents();
  install_.WriteRazInv(
      "[HardwareSetting]\r\ncount=2\r\n1=1,0,0,0,0\r\n2=3,0,0,0\r\n"
      "[RepositorySetting]\r\ncount=1\r\n1=2,0,0,0,0\r\n[RepositoryInventory]\r\n1=HOST(ip:1)\r\n"
      "[TextSetting]\r\ncount=1\r\n1=2,0,0,0,0\r\n[TextInventory]\r\n1=TEXT()\r\n"
      "[RepositoryMachineName]\r\ncount=1\r\n1=PC\r\n[RepositoryMachineID]\r\n1=os:2\r\n");
  InvRunContext run{};
  std::snprintf(run.RazInvPath, sizeof run.RazInvPath, "%s", install_.etc("RazInv.ini").c_str());
  ASSERT_EQ(Qvad_InvOvIniAnalysis(&run, 2, 0), 1);
  EXPECT_EQ(run.HwCount, 2);
  EXPECT_EQ(run.RepoCount, 1);
  EXPECT_EQ(run.TextCount, 1);
  EXPECT_EQ(run.MachineCount, 1);
  EXPECT_STREQ(run.RepoDef[0].Text, "HOST(ip:1)");
  EXPECT_EQ(run.MachineDef[0].Valid, 1);
  ExpectEvents({{"0xA000089B", "Hard", "2"}});
  for (void *p : {(void *)run.HwDef, (void *)run.RepoDef, (void *)run.TextDef, (void *)run.MachineDef}) std::free(p);

  // The single-repository kind is missing: nothing is kept, and the failure
  // names the kind and the last entry number that had an error.
  install_.ClearEvents();
  InvRunContext failed{};
  std::snprintf(failed.RazInvPath, sizeof failed.RazInvPath, "%s", install_.etc("RazInv.ini").c_str());
  ASSERT_EQ(Qvad_InvOvIniAnalysis(&failed, 3, 1), 0);
  EXPECT_EQ(failed.HwDef, nullptr);
  EXPECT_EQ(failed.HwCount, 0);
  ExpectEvents({{"0xA000089B", "Hard", "2"}, {"0xA000089B", "Repo", "1"}, {"0xE0000C81", "Repo", "1"}});
}

TEST_F(Definitions, NoDefinitionFileName) {
  Loaded l;
  Load("", kInvKindHardware, l);
  EXPECT_EQ(l.count, -1);
  EXPECT_EQ(l.errors, (std::vector<std::pair<int, int>>{{0, 1}}));
  MACHINE_DEF *t = nullptr;
  INI_ERROR_NODE *errors = nullptr;
  EXPECT_EQ(Qvad_IniMachineSet(nullptr, &t, 0, &errors), -1);
  EXPECT_EQ(Drain(&errors).size(), 1u);
}

}  // namespace
