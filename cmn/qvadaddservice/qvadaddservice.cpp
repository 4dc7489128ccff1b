// qvadaddservice: registers a service with the platform's service manager
// for the installer; the name and the program come from the command line.
#include <cstring>

#include "cmn/qvadtool/qvadtool.h"
#include "platform/error.h"
#include "platform/svcmgr.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "n:p:o:",
    "QvAdnerl01",
    "QvAdnerl02",
    "Usage: qvadaddservice -n servicename -p path [-o logfile]\n",
    "qvadaddservice error invalid parameter.",
    "qvadaddservice error write log file.",
    true,
    256,
};

struct Options {
  char name[32];
  char path[260];
};

bool TakeOption(void *context, int letter, const char *arg) {
  auto *o = static_cast<Options *>(context);
  if (letter == 'n') return Qvad_CopyOptArg(o->name, sizeof o->name, arg);
  if (letter == 'p') return Qvad_CopyOptArg(o->path, sizeof o->path, arg);
  return false;
}

}  // namespace

std::uint32_t Qvad_AddServiceMain(int argc, char **argv) {
  QvadTool tool(kTool);
  Options opt;
  std::memset(&opt, 0, sizeof opt);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, TakeOption, &opt, &status)) return status;
  if (opt.name[0] == '\0' || opt.path[0] == '\0') return QVAD_TOOL_MISSING(tool);

  plat::SvcHandle manager = plat::SvcOpenManager();
  if (manager == nullptr) {
    std::uint32_t err = plat::LastError();
    return QVAD_TOOL_FAIL(tool, err, "qvadaddservice error in OpenSCManager(%d)", static_cast<int>(err));
  }
  plat::SvcHandle service = plat::SvcCreate(manager, opt.name, opt.path);
  if (service == nullptr) {
    std::uint32_t err = plat::LastError();
    plat::SvcClose(manager);
    return QVAD_TOOL_FAIL(tool, err, "qvadaddservice error in CreateService(%d)", static_cast<int>(err));
  }
  plat::SvcClose(service);
  plat::SvcClose(manager);
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_AddServiceMain(argc, argv)); }
