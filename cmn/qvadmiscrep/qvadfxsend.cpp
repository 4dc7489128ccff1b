// Delivery of the repository file with the asset inventory's fxsend. The
// command runs hidden with the result folder as its working folder, so it
// is given the bare file name.
#include <cstdio>
#include <cstring>

#include "cmn/qvadmiscrep/qvadmiscrep.h"
#include "cmn/qvadproc/qvadproc.h"
#include "cmn/qvadprofile.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/sys.h"

int Qvad_fxsend(const char *dir, const char *file, const char *repinfo_path, QVAD_ERROR_TBL *error,
                plat::JobObject *job) {
  Qvad_ResetError(error);
  if (dir == nullptr || file == nullptr || repinfo_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  int type = static_cast<int>(QvadGetPrivateProfileInt("General", "Type", -1, repinfo_path));
  if (type == -1) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  char site[128] = {};
  if (type == 2) {
    QvadGetPrivateProfileString("General", "SiteName", "", site, sizeof site, repinfo_path);
    if (site[0] == '\0') {
      QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
      return 0;
    }
  }
  // The names are quoted on the command line; a double quote inside one
  // would end the quoting and let the rest become arguments of its own.
  if (std::strchr(file, '"') != nullptr || std::strchr(site, '"') != nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  char command[1024] = {};
  int n = type == 2 ? std::snprintf(command, sizeof command, "%s -a %s -d TEXT -f %s -p \"%s %s\"", "fxsend",
                                    "QvadNerl", file, site, file)
                    : std::snprintf(command, sizeof command, "%s -a %s -d TEXT -f %s -p \"%s\"", "fxsend", "QvadNerl",
                                    file, file);
  if (n < 0 || n >= static_cast<int>(sizeof command)) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  // The command runs in the result folder as its own working folder; this
  // process's current folder, which every thread of the host shares, is
  // left alone.
  if (!plat::FileExists(dir)) {
    QVAD_FILL_ERROR(error, 22, plat::kErrPathNotFound);
    return 0;
  }
  QVAD_STARTUPINFO si{};
  si.use_std_handles = false;
  si.std_in = si.std_out = si.std_err = plat::kInvalidFile;
  si.hidden = true;
  si.job = job;
  QVAD_PROCESS_INFORMATION pi{};
  if (Qvad_CreateProcess(nullptr, command, nullptr, nullptr, 0, 0, nullptr, dir, &si, &pi, error) != 1) return 0;
  // Each wait ends the moment the command exits; 500 ms is only its time-out.
  int w;
  while ((w = plat::WaitProcess(pi.process, 500)) == 1) {
  }
  std::uint32_t code = 0;
  if (w != 0 || !plat::ProcessExitCode(pi.process, &code)) {
    QVAD_FILL_ERROR(error, 222, plat::LastError());
    plat::CloseProcess(pi.process);
    return 0;
  }
  plat::CloseProcess(pi.process);
  if (code != 0) {
    QVAD_FILL_ERROR(error, 22, code);
    return 0;
  }
  return 1;
}
