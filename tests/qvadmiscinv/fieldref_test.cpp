// Filters and gatherers of warehouse-field definitions on small result
// files, and the parsing of macro calls and their arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "qvadmiscinv_env.h"

namespace {

// A Type 3 entry parsed from its RazInv.ini value.
INV_ITEM_DEF Entry(const char *value, int sep_flag = 0, char sep = ',', const char *convert = nullptr) {
  INV_ITEM_DEF def{};
  def.Type = 3;
  def.SepFlag = sep_flag;
  def.Separator[0] = sep;
  if (convert) {
    def.ConvFlag = 1;
    std::strcpy(def.Convert, convert);
  }
  INI_ERROR_NODE *errors = nullptr;
  Qvad_IniAcquireEdit(value, &def, 1, &errors);
  EXPECT_EQ(errors, nullptr);
  return def;
}

class Gather : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.WriteResult("cpu", "host1,A,10\r\nhost2,,20\r\nhost1,,30\r\nhost1,B,40\r\n\"host,3\",C,50");
  }
  int Hw(const INV_ITEM_DEF &def, std::string &out, QVAD_ERROR_TBL *err = nullptr) {
    char buf[1024];
    std::memset(buf, 0x7E, sizeof buf);
    QVAD_ERROR_TBL local{};
    int rc = Qvad_GetHwInvDB(&def, buf, sizeof buf, install_.hard().c_str(), err ? err : &local);
    out = rc == 0 ? buf : "";
    return rc;
  }
  int Row(const INV_ITEM_DEF &def, int r, std::string &out, QVAD_ERROR_TBL *err = nullptr) {
    char buf[1024];
    QVAD_ERROR_TBL local{};
    int rc = Qvad_GetCurrentInvDB(&def, r, buf, sizeof buf, install_.hard().c_str(), err ? err : &local);
    out = rc == 0 ? buf : "";
    return rc;
  }
  qvtest::InstallDir install_;
};

TEST_F(Gather, FirstValueJoinedValuesAndFilters) {
  std::string v;
  EXPECT_EQ(Hw(Entry("cpu:2"), v), 0);
  EXPECT_EQ(v, "A");
  EXPECT_EQ(Hw(Entry("cpu:2", 1, '/'), v), 0);
  EXPECT_EQ(v, "A/B/C");
  // Only the last condition filters; quotes around the filter value go.
  EXPECT_EQ(Hw(Entry("cpu:2,cpu:1=host2&cpu:1=\"host1\"", 1, '/'), v), 0);
  EXPECT_EQ(v, "A/B");
  EXPECT_EQ(Hw(Entry("cpu:2,cpu:1=host,3"), v), 0);  // third comma part ignored: host
  EXPECT_EQ(v, "");
  EXPECT_EQ(Hw(Entry("cpu:2,cpu:1=\"host,3\""), v), 0);
  EXPECT_EQ(v, "C");
  EXPECT_EQ(Hw(Entry("cpu:3", 0, ',', "BTOKB"), v), 0);
  EXPECT_EQ(v, "0");
  EXPECT_EQ(Hw(Entry("cpu:3", 1, ';', "MBTOB"), v), 0);
  EXPECT_EQ(v, "10485760;20971520;31457280;41943040;52428800");
  QVAD_ERROR_TBL err{};
  EXPECT_EQ(Hw(Entry("cpu:3", 0, ',', "NOPE"), v, &err), -3);
  EXPECT_EQ(Hw(Entry("cpu:9"), v, &err), -3);  // no such column
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(Hw(Entry("none:2"), v, &err), -1);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(err.system_code, static_cast<std::uint32_t>(ENOENT));
}

TEST_F(Gather, JoinedValuesThatWouldNotFit) {
  std::string lines;
  for (int i = 0; i < 110; ++i) lines += "x," + std::string(9, static_cast<char>('a' + i % 26)) + "\n";
  install_.WriteResult("big", lines);
  std::string v;
  QVAD_ERROR_TBL err{};
  EXPECT_EQ(Hw(Entry("big:2", 1, '/'), v, &err), -3);
  EXPECT_EQ(err.local_code, 22);
  lines = "";
  for (int i = 0; i < 102; ++i) lines += "x,123456789\n";
  install_.WriteResult("big", lines);
  EXPECT_EQ(Hw(Entry("big:2", 1, '/'), v, &err), 0);
  EXPECT_EQ(v.size(), 1019u);
}

// The same answers whether the file is read from disk or kept for the node.
TEST_F(Gather, OneGivenLine) {
  for (bool kept : {false, true}) {
    SCOPED_TRACE(kept ? "kept" : "from disk");
    std::unique_ptr<QvadResultCacheScope> scope(kept ? new QvadResultCacheScope : nullptr);
    std::string v;
    EXPECT_EQ(Row(Entry("cpu:2"), 4, v), 0);
    EXPECT_EQ(v, "B");
    EXPECT_EQ(Row(Entry("cpu:2"), 5, v), 0);  // the last line has no line feed
    EXPECT_EQ(v, "C");
    EXPECT_EQ(Row(Entry("cpu:2"), 2, v), 0);  // empty value: empty result
    EXPECT_EQ(v, "");
    EXPECT_EQ(Row(Entry("cpu:2"), 1, v), 0);  // back to the top after a later line
    EXPECT_EQ(v, "A");
    QVAD_ERROR_TBL err{};
    for (int r : {6, 0, -1}) {  // beyond the last line, or no line at all
      EXPECT_EQ(Row(Entry("cpu:2"), r, v, &err), -3) << r;
      EXPECT_EQ(err.local_code, 22);
      EXPECT_EQ(err.system_code, 87u);
    }
    EXPECT_EQ(Row(Entry("cpu:2,cpu:1=host2"), 1, v), -3);  // line 1 does not pass
    EXPECT_EQ(Row(Entry("cpu:3", 0, ',', "MBTOB"), 3, v), 0);
    EXPECT_EQ(v, "31457280");
    EXPECT_EQ(Row(Entry("none:2"), 1, v, &err), -1);
    EXPECT_EQ(err.local_code, 2);
  }
}

TEST(Filters, ColumnsAndValuesTheFilterCannotHold) {
  REF_KEY key{};
  QVAD_ERROR_TBL err{};
  FIELD_COND cond{};
  cond.Left.Count = 2;
  std::strcpy(cond.Left.Part[1], "12345678");
  std::strcpy(cond.Right.Part[0], "x");
  EXPECT_EQ(Qvad_FieldGetReference(1, &cond, &key, &err), -1);
  EXPECT_EQ(Qvad_FieldGetReference(0, &cond, &key, &err), 4);
  std::strcpy(cond.Left.Part[1], "2");
  ASSERT_EQ(Qvad_FieldGetReference(1, &cond, &key, &err), 3);
  EXPECT_EQ(Qvad_FieldGetAcqRef(&key, "a,\"x\"\n", &err), 0);
  EXPECT_EQ(Qvad_FieldGetAcqRef(&key, "a,X\n", &err), 2);
  EXPECT_EQ(Qvad_FieldGetAcqRef(&key, "a\n", &err), -1);
  MACRO_ARG arg{};
  ASSERT_EQ(Qvad_GetArgField(&arg, ("d:1=" + std::string(64, 'v')).c_str(), &err), 1);
  EXPECT_EQ(Qvad_MacroReference(&arg, &key, 1, &err), -1);  // 64 characters do not fit the filter
  ASSERT_EQ(Qvad_GetArgField(&arg, "d:1", &err), 1);
  EXPECT_EQ(Qvad_MacroReference(&arg, &key, 1, &err), 4);
}

TEST(MacroCalls, NamesAndArguments) {
  char name[1024], args[1024];
  QVAD_ERROR_TBL err{};
  ASSERT_EQ(Qvad_MacroStructDiv("NAME(a,b)tail", name, sizeof name, args, sizeof args, &err), 1);
  EXPECT_STREQ(name, "NAME");
  EXPECT_STREQ(args, "a,b");
  ASSERT_EQ(Qvad_MacroStructDiv("NAME", name, sizeof name, args, sizeof args, &err), 1);
  EXPECT_STREQ(name, "NAME");
  EXPECT_STREQ(args, "");
  ASSERT_EQ(Qvad_MacroStructDiv("D(x:1=\"a)b\")", name, sizeof name, args, sizeof args, &err), 1);
  EXPECT_STREQ(args, "x:1=\"a)b\"");
  EXPECT_EQ(Qvad_MacroStructDiv("LONGNAME(a)", name, 5, args, sizeof args, &err), 0);
  EXPECT_EQ(Qvad_MacroStructDiv("N(abcdef)", name, sizeof name, args, 4, &err), 0);

  MACRO_ARG *a = nullptr;
  ASSERT_EQ(Qvad_GetArgData(&a, "cpu:2=x,cpu:2,\"q,r\":3=\"v=w\"=z", &err), 3);
  EXPECT_EQ(a[0].Count, 2);
  EXPECT_STREQ(a[0].Part[0], "cpu");
  EXPECT_STREQ(a[0].Part[1], "2");
  EXPECT_STREQ(a[0].Value, "x");
  EXPECT_STREQ(a[1].Value, "");
  EXPECT_STREQ(a[2].Part[0], "\"q,r\"");
  EXPECT_STREQ(a[2].Value, "\"v=w\"");
  std::free(a);
  EXPECT_EQ(Qvad_GetArgData(&a, "", &err), -1);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(Qvad_GetArgData(&a, ("a," + std::string(256, 'b')).c_str(), &err), -1);
  EXPECT_EQ(a, nullptr);
  ASSERT_EQ(Qvad_GetArgData(&a, "1:2:3:4:5:6:7:8:9:10:11", &err), 1);
  EXPECT_EQ(a[0].Count, 10);
  std::free(a);
}

}  // namespace
