#include "toolrun.h"

#include "platform/exitstatus.h"
#include "platform/sys.h"

namespace tooltest {

Result RunProgram(const qvtest::ScratchDir &dir, const std::string &program, const std::string &args) {
  std::string out = dir.file("tool-output.txt");
  int rc = qvtest::Run(Q(program) + (args.empty() ? "" : " " + args), out, dir.path());
  return Result{rc, qvtest::ReadFile(out)};
}

Result RunTool(const qvtest::ScratchDir &dir, const std::string &tool, const std::string &args) {
  return RunProgram(dir, qvtest::BinPath(tool), args);
}

int Seen(std::uint32_t code) { return plat::ExitStatus(code); }

std::string Q(const std::string &text) { return "\"" + text + "\""; }

// Standard error is a text stream: its line feeds reach the file as line ends.
std::string Usage(const std::string &line) { return "Error: invalid parameter" + std::string(kEol) + line + kEol; }

std::string Trace(const qvtest::ScratchDir &dir, const std::string &channel) {
  return qvtest::ReadFile(dir.file("trc") + plat::kSep + channel + ".trc");
}

}  // namespace tooltest
