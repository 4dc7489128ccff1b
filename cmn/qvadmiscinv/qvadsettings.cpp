// Readers of the run's switches. Each composes its file path from the
// install directory, reads one integer and judges it; the callers decide
// what a failure means for the run.
#include "cmn/qvadmiscinv/qvadsettings.h"

#include <cstdio>
#include <cstring>

#include "cmn/qvadinstall.h"
#include "cmn/qvadprofile.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {

// Reads one integer of an etc file; 1, or 0 with the error filled.
int ReadEtcInt(const char *file, const char *section, const char *key, int default_value, int *value,
               QVAD_ERROR_TBL *error, int line) {
  char install[260] = {};
  std::int32_t r = QvadGetInstallPathForDll(install, sizeof install);
  if (r != 0) {
    Qvad_FillError(error, 1, static_cast<std::uint32_t>(r), line, __FILE__);
    return 0;
  }
  char path[260] = {};
  int n = std::snprintf(path, sizeof path, "%s%s%s", install, plat::kEtcPiece, file);
  if (n < 0 || n >= static_cast<int>(sizeof path)) {
    Qvad_FillError(error, 1, plat::kErrFilenameTooLong, line, __FILE__);
    return 0;
  }
  *value = static_cast<int>(QvadGetPrivateProfileInt(section, key, default_value, path));
  return 1;
}

// A 0/1 switch without a default: absent is (22, -1), any other value (22, value).
int ReadSwitch(const char *file, const char *section, const char *key, int *flag, QVAD_ERROR_TBL *error, int line) {
  Qvad_ResetError(error);
  if (flag == nullptr) {
    Qvad_FillError(error, 22, plat::kErrInvalidParameter, line, __FILE__);
    return 0;
  }
  int v = -1;
  if (!ReadEtcInt(file, section, key, -1, &v, error, line)) return 0;
  if (v != 0 && v != 1) {
    Qvad_FillError(error, 22, static_cast<std::uint32_t>(v), line, __FILE__);
    return 0;
  }
  *flag = v;
  return 1;
}

}  // namespace

int Qvad_GetTextFlag(int *flag, QVAD_ERROR_TBL *error) {
  return ReadSwitch("RazInv.ini", "TextSetting", "flag", flag, error, __LINE__);
}

int Qvad_GetOwnSetting(int *flag, QVAD_ERROR_TBL *error) {
  return ReadSwitch("RazSetting.ini", "Inventory", "own", flag, error, __LINE__);
}

int Qvad_GetRepFlag(int *flag, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (flag == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  int v = 1;
  if (!ReadEtcInt("RazSetting.ini", "Repository", "own", 1, &v, error, __LINE__)) return 0;
  *flag = v == 0 ? 0 : 1;
  return 1;
}

int Qvad_InvOvGetRepoOperationType(const char *edition, char *output, std::uint32_t size, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  const char *value = nullptr;
  if (edition != nullptr && std::strcmp(edition, "PRISMSUITE") == 0) value = "DM InstallType";
  if (edition != nullptr && std::strcmp(edition, "TIDALSUITE") == 0) value = "JM InstallType";
  if (value == nullptr || output == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  unsigned char data[8] = {};
  if (QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadEditionKey, value, data, sizeof data) != 0) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  std::int32_t type = 0;
  std::memcpy(&type, data, sizeof type);
  char text[16] = {};
  int n = std::snprintf(text, sizeof text, "%d", static_cast<int>(type));
  if (n < 0 || static_cast<std::uint32_t>(n) >= size) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  std::memcpy(output, text, static_cast<std::size_t>(n) + 1);
  return 0;
}
