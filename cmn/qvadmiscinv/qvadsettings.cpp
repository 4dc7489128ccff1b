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

namespace {

// A whole number of [Inventory] from min to max, or the default when the
// key is absent. The whole value must be such a number: "4x", "-1" or one
// out of range is a mistake to be told (0, 22), not a value to be guessed;
// the default is then left in *value.
int ReadInventoryNumber(const char *razsetting_path, const char *key, int fallback, long min, long max, int *value,
                        QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (value == nullptr || razsetting_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *value = fallback;
  char text[32] = {};
  QvadGetPrivateProfileString("Inventory", key, "", text, sizeof text, razsetting_path);
  if (text[0] == '\0') return 1;
  char *end = nullptr;
  long v = std::strtol(text, &end, 10);
  while (*end == ' ' || *end == '\t') ++end;
  if (end == text || *end != '\0' || v < min || v > max) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *value = static_cast<int>(v);
  return 1;
}

}  // namespace

int Qvad_GetQueryWorkers(const char *razsetting_path, int *workers, QVAD_ERROR_TBL *error) {
  return ReadInventoryNumber(razsetting_path, "QueryWorkers", 1, 1, kQvadMaxQueryWorkers, workers, error);
}

int Qvad_GetQueryTimeout(const char *razsetting_path, int *seconds, QVAD_ERROR_TBL *error) {
  return ReadInventoryNumber(razsetting_path, "QueryTimeout", kQvadDefaultQueryTimeout, 0, kQvadMaxQueryTimeout,
                             seconds, error);
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
