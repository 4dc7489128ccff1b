// Readers of the run's switches. Each reads one value of the file it is
// given (the run knows its paths from Init) and judges it; the callers
// decide what a failure means for the run.
#include "cmn/qvadmiscinv/qvadsettings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmn/qvadinstall.h"
#include "cmn/qvadprofile.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {

// A 0/1 switch without a default: absent is (22, -1), any other value (22, value).
int ReadSwitch(const char *path, const char *section, const char *key, int *flag, QVAD_ERROR_TBL *error, int line) {
  Qvad_ResetError(error);
  if (flag == nullptr || path == nullptr) {
    Qvad_FillError(error, 22, plat::kErrInvalidParameter, line, __FILE__);
    return 0;
  }
  int v = static_cast<int>(QvadGetPrivateProfileInt(section, key, -1, path));
  if (v != 0 && v != 1) {
    Qvad_FillError(error, 22, static_cast<std::uint32_t>(v), line, __FILE__);
    return 0;
  }
  *flag = v;
  return 1;
}

}  // namespace

int Qvad_GetTextFlag(const char *razinv_path, int *flag, QVAD_ERROR_TBL *error) {
  return ReadSwitch(razinv_path, "TextSetting", "flag", flag, error, __LINE__);
}

int Qvad_GetOwnSetting(const char *razsetting_path, int *flag, QVAD_ERROR_TBL *error) {
  return ReadSwitch(razsetting_path, "Inventory", "own", flag, error, __LINE__);
}

int Qvad_GetRepFlag(const char *razsetting_path, int *flag, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (flag == nullptr || razsetting_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *flag = QvadGetPrivateProfileInt("Repository", "own", 1, razsetting_path) == 0 ? 0 : 1;
  return 1;
}

int Qvad_GetQueryWorkers(const char *razsetting_path, int *workers, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (workers == nullptr || razsetting_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *workers = 1;
  char text[32] = {};
  QvadGetPrivateProfileString("Inventory", "QueryWorkers", "", text, sizeof text, razsetting_path);
  if (text[0] == '\0') return 1;
  // The whole value must be a number from 1 to the limit: "4x", "0" or
  // "99" is a mistake to be told, not a count to be guessed.
  char *end = nullptr;
  long v = std::strtol(text, &end, 10);
  while (*end == ' ' || *end == '\t') ++end;
  if (end == text || *end != '\0' || v < 1 || v > kQvadMaxQueryWorkers) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *workers = static_cast<int>(v);
  return 1;
}

int Qvad_GetQueryTimeout(const char *razsetting_path, int *seconds, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (seconds == nullptr || razsetting_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *seconds = kQvadDefaultQueryTimeout;
  char text[32] = {};
  QvadGetPrivateProfileString("Inventory", "QueryTimeout", "", text, sizeof text, razsetting_path);
  if (text[0] == '\0') return 1;
  // As with QueryWorkers, a value that is no whole number in range is a
  // mistake to be told, not a time to be guessed.
  char *end = nullptr;
  long v = std::strtol(text, &end, 10);
  while (*end == ' ' || *end == '\t') ++end;
  if (end == text || *end != '\0' || v < 0 || v > kQvadMaxQueryTimeout) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *seconds = static_cast<int>(v);
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
