// qvademenv: writes nerladapter.env, which tells the libraries where the
// adapter is installed, into the etc folder of the asset component's root.
#include <cstdio>
#include <cstring>
#include <string>

#include "cmn/qvadinstall.h"
#include "cmn/qvadtool/qvadtool.h"
#include "platform/file.h"
#include "platform/library.h"
#include "platform/sys.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "p:o:",
    "QvAdnerl03",
    "QvAdnerl04",
    "Usage: qvademenv -p installpath [-o logfile]\n",
    "qvademenv error invalid parameter.",
    "qvademenv error write log file.",
    true,
    1024,
};

// The reader takes each line into a 260-byte buffer, line feed included.
constexpr std::size_t kReaderLine = 259;

}  // namespace

std::uint32_t Qvad_EmEnvMain(int argc, char **argv) {
  QvadTool tool(kTool);
  // The directory becomes the file's lines: a line feed in it would hand
  // the libraries another directory to load from, so one is refused.
  QvadPathOption opt;
  std::memset(&opt, 0, sizeof opt);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, Qvad_TakePathOption, &opt, &status)) return status;
  if (!opt.given) return QVAD_TOOL_MISSING(tool);

  char root[260];
  if (QvadGetRootDir(root, sizeof root) != 0) return QVAD_TOOL_FAIL(tool, 1, "qvademenv error get registory data.");

  // A file the libraries cannot read back would break every inventory run
  // later, far from the installer that could have fixed it: refuse now.
  const std::string library = plat::LibraryFileName("qvadinv");
  std::size_t line1 = std::strlen(opt.path) + std::strlen(plat::kBinPiece) + library.size() + 1;
  if (line1 > kReaderLine)
    return QVAD_TOOL_FAIL(tool, 2, "qvademenv error create env file. install path too long(%zu > %zu).",
                          std::strlen(opt.path), kReaderLine - 1 - std::strlen(plat::kBinPiece) - library.size());

  char path[260];
  if (!QvadEnvFilePath(root, path, sizeof path))
    return QVAD_TOOL_FAIL(tool, 2, "qvademenv error create env file. root directory too long.");
  // The new file replaces the old one whole: a library never reads half a
  // file, and a failed write leaves the old one.
  plat::FileReplacement file;
  if (file.Open(path, true) != 0) return QVAD_TOOL_FAIL(tool, 2, "qvademenv error create env file.");
  bool ok = std::fprintf(file.stream(), "%s%s%s\n", opt.path, plat::kBinPiece, library.c_str()) >= 0 &&
            std::fputs(opt.path, file.stream()) >= 0;
  // Buffered text reaches the disk at the commit; a full disk shows there.
  if (!ok || file.Commit() != 0) return QVAD_TOOL_FAIL(tool, 4, "qvademenv error write env file.");
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_EmEnvMain(argc, argv)); }
