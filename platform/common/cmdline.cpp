// Command-line splitting by the Win32 rules, shared by both backends so a
// child sees the same arguments on either platform.
#include <string>
#include <vector>

#include "platform/process.h"

namespace plat {

std::vector<std::string> SplitCommandLine(const char *command_line) {
  std::vector<std::string> args;
  if (command_line == nullptr) return args;
  const char *p = command_line;
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
      if (*p == '\\') {
        std::size_t n = 0;
        while (*p == '\\') {
          ++n;
          ++p;
        }
        if (*p == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            ++p;
          }
        } else {
          arg.append(n, '\\');
        }
        continue;
      }
      if (*p == '"') {
        // Inside quotes, a doubled quote stands for one quote.
        if (quoted && p[1] == '"') {
          arg += '"';
          p += 2;
          continue;
        }
        quoted = !quoted;
        ++p;
        continue;
      }
      arg += *p++;
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace plat
