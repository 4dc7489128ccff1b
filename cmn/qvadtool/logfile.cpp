// The tool log file: one message of the last failing run, without a line
// end, so an installer can show it as it is.
#include <cstdio>
#include <cstring>

#include "cmn/qvadtool/qvadtool.h"

extern "C" std::int32_t Qvad_WriteLogFile(const char *path, const char *text) {
  std::FILE *f = std::fopen(path, "w");
  if (f == nullptr) return 2;
  std::size_t len = std::strlen(text);
  bool ok = std::fwrite(text, 1, len, f) == len;
  // Text written to a stream may only fail when it is flushed at the close.
  if (std::fclose(f) != 0) ok = false;
  return ok ? 0 : 4;
}
