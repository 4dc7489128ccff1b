// qvadmsgdllunreg: removes the registration of the event-log source
// "QvAdnerl" at uninstallation.
#include "cmn/qvadmsgdllreg/eventsource.h"
#include "cmn/qvadtool/qvadtool.h"
#include "platform/registry.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "o:",
    "QvAdnerl01",
    "QvAdnerl02",
    "Usage: qvadmsgdllunreg [-o logfile]\n",
    "qvadmsgdllunreg error invalid parameter.",
    "qvadmsgdllunreg error write log file.",
    false,
    1024,
};

// -o is the only option, and the skeleton takes it itself.
bool TakeOption(void *, int, const char *) { return false; }

}  // namespace

std::uint32_t Qvad_MsgDllUnRegMain(int argc, char **argv) {
  QvadTool tool(kTool);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, TakeOption, nullptr, &status)) return status;

  std::uint32_t rc = plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventLogParentKey);
  if (rc != 0) return QVAD_TOOL_FAIL(tool, 301, "qvadmsgdllunreg error open registory key(%d).", static_cast<int>(rc));
  rc = plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, kQvadEventSourceKey);
  if (rc != 0) return QVAD_TOOL_FAIL(tool, 304, "qvadmsgdllunreg error set registory.");
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_MsgDllUnRegMain(argc, argv)); }
