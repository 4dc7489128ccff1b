// qvadcheck: says whether an install of the adapter will work, before the
// service starts or the inventory host runs.
#include <cstdio>
#include <cstring>

#include "tools/qvadcheck/qvadcheck.h"

namespace {

const char kUsage[] =
    "Usage: qvadcheck [--json] [--probe] [--help] [--version]\n"
    "Checks an install of the adapter: registry values, nerladapter.env, the install folder,\n"
    "RazEvt.ini, RazInv.ini, RepInfo.ini, RazSetting.ini (read by the adapter's own loaders),\n"
    "the tracer, the console library, ovdumpevents, ovdwquery, fxsend, and the folders the\n"
    "adapter writes. One line per check (OK, WARN or FAIL, with the file, the key and the fix)\n"
    "and a summary.\n"
    "  --json     one JSON document instead of the lines, for scripts\n"
    "  --probe    also run the node-list query of RazInv.ini once through the engine's query path\n"
    "             and report the warehouse's own error text when it fails\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "Exit status: 0 a run would work, 1 warnings only, 2 failures (or a wrong command line).\n";

}  // namespace

int main(int argc, char **argv) {
  bool json = false, probe = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--probe") == 0) {
      probe = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("qvadcheck %s\n", QVAD_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "qvadcheck: unknown argument \"%s\"\n%s", argv[i], kUsage);
      return 2;
    }
  }
  CheckList list;
  CheckContext context{"", "", -1, 1};
  CheckInstall(&list, &context);
  CheckSettings(&list, &context);
  CheckComponents(&list, context);
  CheckFolders(&list, context);
  if (probe) CheckProbe(&list, context);
  int status = CheckExitStatus(list);
  if (json) {
    PrintJson(list, status, QVAD_VERSION);
  } else {
    PrintText(list, status);
  }
  std::fflush(stdout);
  return status;
}
