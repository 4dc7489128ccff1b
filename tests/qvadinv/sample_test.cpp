// The sample definitions over the sample warehouse: the generator and the
// SQL warehouse need python3 and SQLite, so where they are missing (the Win32
// build under Wine) the case is skipped.
#include <filesystem>
#include <regex>

#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::Run;
using qvtest::RunResult;

TEST_F(Run, SampleDefinitionsOverTheSampleWarehouse) {
  std::string src = QVAD_SOURCE_DIR;
  std::string db = inst.path("var/warehouse.db");
  std::string gen = "python3 \"" + src + plat::kSep + "samples" + plat::kSep + "make_warehouse.py\" \"" + db +
                    "\" --nodes 3 --seed 7 --own " + host_;
  if (qvtest::Run(gen, inst.path("var/gen.out")) != 0) GTEST_SKIP() << "no python3 with sqlite3 here";
  qvtest::EnvVar warehouse("OVDWQUERY_DB", db);
  qvtest::EnvVar no_canned("OVDWQUERY_CANNED", "");
  for (const char *f : {"RazInv.ini", "RepInfo.ini", "RazSetting.ini"}) {
    std::filesystem::copy_file(src + plat::kSep + "samples" + plat::kSep + f, inst.path(std::string("etc/") + f),
                               std::filesystem::copy_options::overwrite_existing);
  }
  RunResult r = Go();
  ASSERT_EQ(r.init, 0) << inst.trace("QvAdnerl03");
  ASSERT_EQ(r.nodes.size(), 4u);
  EXPECT_EQ(r.nodes[0].name, host_);
  EXPECT_EQ(r.nodes[1].name, "node0001.example.local");
  for (const auto &n : r.nodes) {
    auto lines = Lines(n.content);
    ASSERT_GT(lines.size(), 1u) << n.name;
    // Time, quoted name, address, quoted OS, vendor padded to 12, memory in bytes, CPU count, CPU detail ...
    std::regex hw("^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},\"" +
                  std::regex_replace(n.name, std::regex("\\."), "\\.") +
                  "\",10\\.0\\.0\\.[0-9]+,\"[^\"]+\",.{12},[0-9]+,[124],\"[A-Za-z]+ [A-Za-z ]+ "
                  "[0-9]+\",[0-9]+,\"[0-9]+,[0-9]+,C:,NTFS,Disk C\",[0-9]+X[0-9]+,(8|16|32),\"[0-9.;]+\",[A-Za-z "
                  "]+,\"Nerl sample\",,[0-9A-F:]+$");
    EXPECT_TRUE(std::regex_match(lines[0], hw)) << lines[0];
    EXPECT_EQ(lines[1].rfind("1,\"", 0), 0u) << lines[1];  // first text row: line 1 of the first result
  }
  // One repository row per interface: quoted name, interface, address, MAC without colons, site.host, machine kinds,
  // edition type, literal.
  auto repo = Lines(r.repository);
  ASSERT_GE(repo.size(), 4u);
  std::regex row(
      "^\"[^\"]+\",eth[0-9],10\\.[0-9.]+,[0-9a-f]{12},\"SampleSite\\.[^\"]+\",(Router|Switch|Server),3,nerl$");
  for (const auto &l : repo) EXPECT_TRUE(std::regex_match(l, row)) << l;
  EXPECT_EQ(Lines(inst.fxsend_log()).size(), 2u);

  // Four queries at a time give the same files (rows carry the time of
  // collection, which is left out of the comparison).
  auto seen = [](const RunResult &run) {
    std::string s;
    for (const auto &n : run.nodes) s += std::to_string(n.ret) + "|" + n.record + "|" + n.content + "\n";
    return std::regex_replace(s + run.repository, std::regex("[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9:]{8}"), "T");
  };
  std::string setting = qvtest::ReadFile(inst.path("etc/RazSetting.ini"));
  setting.replace(setting.find("[Inventory]"), 11, "[Inventory]\nQueryWorkers=4");
  qvtest::WriteFile(inst.path("etc/RazSetting.ini"), setting);
  RunResult four = Go();
  EXPECT_EQ(seen(four), seen(r));
  EXPECT_NE(inst.trace("QvAdnerl04").find("(Info)QueryWorkers = 4"), std::string::npos);
}

}  // namespace
