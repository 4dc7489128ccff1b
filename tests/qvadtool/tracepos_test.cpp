// Where the setup tools' START, END and message entries say they come from:
// the tool's own source file, at the statement that caused each entry, so a
// reader of the trace lands in the tool rather than in the shared skeleton.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;

bool InToolSource(const std::string &file, const std::string &tool) {
  return qvtest::SourceIs(file, "cmn/" + tool + "/" + tool + ".cpp");
}

TEST(ToolTracePositions, EveryEntryPointsIntoTheToolAtItsOwnStatement) {
  qvtest::ScratchDir dir("tooltracepos");
  std::string install = dir.file("inst");
  plat::MakeDirectory(install.c_str());
  plat::MakeDirectory((install + plat::kSep + "etc").c_str());
  struct Case {
    std::string tool, info, error, args;
    int status;
  } cases[] = {
      {"qvademenv", "QvAdnerl04", "QvAdnerl03", "-x", 22},
      {"qvademenv", "QvAdnerl04", "QvAdnerl03", "-o " + Q(dir.file("log")), 22},  // -p missing
      {"qvadrmenv", "QvAdnerl04", "QvAdnerl03", "-x", 22},
      {"qvadrepini", "QvAdnerl04", "QvAdnerl03", "-x", 22},
      {"qvadrepini", "QvAdnerl04", "QvAdnerl03", "-p " + Q(install) + " -i a -t 2", 0},
      {"qvadaddservice", "QvAdnerl02", "QvAdnerl01", "-x", 22},
      {"qvaddelservice", "QvAdnerl02", "QvAdnerl01", "-x", 22},
      {"qvadmsgdllreg", "QvAdnerl02", "QvAdnerl01", "-x", 22},
      {"qvadmsgdllunreg", "QvAdnerl02", "QvAdnerl01", "-x", 22},
  };
  int n = 0;
  for (const Case &c : cases) {
    // A trace folder per run, so each run's entries stand alone.
    std::string trc = dir.file("trc" + std::to_string(n++));
    plat::MakeDirectory(trc.c_str());
    qvtest::EnvVar zlt("ZLTGATE_DIR", trc);
    tooltest::Result r = tooltest::RunTool(dir, c.tool, c.args);
    SCOPED_TRACE(c.tool + " " + c.args);
    ASSERT_EQ(r.rc, c.status);
    std::vector<qvtest::TraceEntry> info = qvtest::TraceEntries(qvtest::ReadFile(trc + plat::kSep + c.info + ".trc"));
    std::vector<qvtest::TraceEntry> error = qvtest::TraceEntries(qvtest::ReadFile(trc + plat::kSep + c.error + ".trc"));
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].text, "START");
    EXPECT_EQ(info[1].text, "END");
    EXPECT_EQ(info[1].code, c.status);
    for (const qvtest::TraceEntry &e : info) EXPECT_TRUE(InToolSource(e.file, c.tool)) << e.text << " from " << e.file;
    for (const qvtest::TraceEntry &e : error) EXPECT_TRUE(InToolSource(e.file, c.tool)) << e.text << " from " << e.file;
    // START comes from where the tool begins, END from where it ends.
    EXPECT_LT(info[0].line, info[1].line);
    // A failure's message and its END come from the same statement.
    if (c.status != 0) {
      ASSERT_EQ(error.size(), 1u);
      EXPECT_EQ(error[0].line, info[1].line);
    }
  }
}

}  // namespace
