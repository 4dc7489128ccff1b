// The hidden launcher on Win32: CreateProcessA with SW_HIDE on the tail of
// our own command line.
#include "platform/launch.h"

#include <windows.h>

namespace plat {

namespace {

// Skips the program name as the GUI start-up code does: a quoted name up to
// and including its closing quote, else up to the first blank or control
// character; then every character from 1 to 32.
char *SkipProgramName(char *p) {
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (static_cast<unsigned char>(*p) > ' ') ++p;
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  return p;
}

}  // namespace

int RunHiddenAndWait(int, char **) {
  char *command_line = SkipProgramName(GetCommandLineA());
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 220;
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return 0;
}

}  // namespace plat
