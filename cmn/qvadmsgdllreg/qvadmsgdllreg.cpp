// qvadmsgdllreg: registers the event-log source "QvAdnerl" with the message
// library in the adapter's bin folder, so the event viewer shows its texts.
#include <cstdio>
#include <cstring>

#include "cmn/qvadmsgdllreg/eventsource.h"
#include "cmn/qvadtool/qvadtool.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "p:o:",
    "QvAdnerl01",
    "QvAdnerl02",
    "Usage: qvadmsgdllreg -p installpath [-o logfile]\n",
    "qvadmsgdllreg error invalid parameter.",
    "qvadmsgdllreg error write log file.",
    true,
    1024,
};

}  // namespace

std::uint32_t Qvad_MsgDllRegMain(int argc, char **argv) {
  QvadTool tool(kTool);
  // The path becomes a registry value that the event viewer and the POSIX
  // reporter load a message file from: a control character is refused.
  QvadPathOption opt;
  std::memset(&opt, 0, sizeof opt);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, Qvad_TakePathOption, &opt, &status)) return status;
  if (!opt.given) return QVAD_TOOL_MISSING(tool);

  // The path is checked before the key is touched, so a refused run leaves
  // an earlier registration as it was instead of one naming a cut path.
  char file[260];
  std::memset(file, 0, sizeof file);
  int len = std::snprintf(file, sizeof file, "%s%s%s", opt.path, plat::kBinPiece, plat::kMessageLibraryFile);
  if (len < 0 || len >= static_cast<int>(sizeof file))
    return QVAD_TOOL_FAIL(tool, 303, "qvadmsgdllreg error set registory. message file path too long(%d > 259).", len);

  // The registry calls return their error; that is the code worth reporting.
  std::uint32_t rc = plat::RegistryCreateKey(plat::RegRoot::LocalMachine, kQvadEventSourceKey);
  if (rc != 0) return QVAD_TOOL_FAIL(tool, 300, "qvadmsgdllreg error create registory key(%d).", static_cast<int>(rc));
  rc = plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "EventMessageFile", plat::kRegExpandSz, file,
                         static_cast<std::uint32_t>(len + 1));
  if (rc != 0) return QVAD_TOOL_FAIL(tool, 303, "qvadmsgdllreg error set registory.");
  const std::uint32_t types = 7;  // error, warning and information events
  rc = plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "TypesSupported", plat::kRegDword, &types,
                         sizeof types);
  if (rc != 0) return QVAD_TOOL_FAIL(tool, 303, "qvadmsgdllreg error set registory.");
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_MsgDllRegMain(argc, argv)); }
