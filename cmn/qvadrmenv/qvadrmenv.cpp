// qvadrmenv: deletes nerladapter.env at uninstallation.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cmn/qvadinstall.h"
#include "cmn/qvadtool/qvadtool.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "o:",
    "QvAdnerl03",
    "QvAdnerl04",
    "Usage: qvadrmenv [-o logfile]\n",
    "qvadrmenv error invalid parameter.",
    "qvadrmenv error write log file.",
    false,
    1024,
};

// -o is the only option, and the skeleton takes it itself.
bool TakeOption(void *, int, const char *) { return false; }

}  // namespace

std::uint32_t Qvad_RmEnvMain(int argc, char **argv) {
  QvadTool tool(kTool);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, TakeOption, nullptr, &status)) return status;

  char root[260];
  if (QvadGetRootDir(root, sizeof root) != 0) return QVAD_TOOL_FAIL(tool, 1, "qvadrmenv error get registory data.");

  char path[260];
  if (!QvadEnvFilePath(root, path, sizeof path))
    return QVAD_TOOL_FAIL(tool, 2, "qvadrmenv error delete env file(%d).", ENAMETOOLONG);
  errno = 0;
  if (std::remove(path) != 0) return QVAD_TOOL_FAIL(tool, 2, "qvadrmenv error delete env file(%d).", errno);
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_RmEnvMain(argc, argv)); }
