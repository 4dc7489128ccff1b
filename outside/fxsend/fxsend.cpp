// Stand-in for the asset inventory's file-transfer command. It copies the
// file named by -f (relative to its working folder) into $FXSEND_DIR, appends
// one record of the call to $FXSEND_DIR/fxsend.log, and exits with
// $FXSEND_EXIT (0 when unset). A record is two lines:
//
//   cwd=<working folder>
//   args=[<arg 1>] [<arg 2>] ...
//
// so tests can check the exact arguments the adapter composed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host.h"
#include "platform/sys.h"

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s (%s) %s\n", "fxsend", "stand-in file transfer", QVAD_VERSION);
    return 0;
  }
  std::string dir = plat::GetEnv("FXSEND_DIR");
  std::string code_text = plat::GetEnv("FXSEND_EXIT");
  int code = code_text.empty() ? 0 : std::atoi(code_text.c_str());
  if (dir.empty()) {
    std::fprintf(stderr, "fxsend: FXSEND_DIR is not set\n");
    return 2;
  }
  char cwd[1024] = {};
  plat::CurrentDirectory(cwd, sizeof cwd);
  std::string record = std::string("cwd=") + cwd + "\nargs=";
  std::string file;
  for (int i = 1; i < argc; ++i) {
    record += (i > 1 ? " [" : "[") + std::string(argv[i]) + "]";
    if (std::string(argv[i]) == "-f" && i + 1 < argc) file = argv[i + 1];
  }
  record += "\n";
  std::string log = dir + plat::kSep + "fxsend.log";
  if (std::FILE *f = std::fopen(log.c_str(), "ab")) {
    std::fwrite(record.data(), 1, record.size(), f);
    std::fclose(f);
  }
  if (!file.empty()) {
    std::FILE *in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
      std::fprintf(stderr, "fxsend: cannot open %s\n", file.c_str());
      return code != 0 ? code : 2;
    }
    std::string base = file.substr(file.find_last_of("/\\") == std::string::npos ? 0 : file.find_last_of("/\\") + 1);
    std::FILE *out = std::fopen((dir + plat::kSep + base).c_str(), "wb");
    char buf[65536];
    std::size_t n;
    while (out != nullptr && (n = std::fread(buf, 1, sizeof buf, in)) > 0) std::fwrite(buf, 1, n, out);
    std::fclose(in);
    if (out == nullptr) return code != 0 ? code : 2;
    std::fclose(out);
  }
  return code;
}
