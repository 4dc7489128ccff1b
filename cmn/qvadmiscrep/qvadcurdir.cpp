// Saving and restoring the process's current folder.
#include <cstring>

#include "cmn/qvadmiscrep/qvadmiscrep.h"
#include "platform/error.h"
#include "platform/host.h"

int Qvad_GetCurrentDir(char *buffer, std::size_t size, QVAD_ERROR_TBL *error) {
  if (buffer == nullptr || size == 0) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  std::memset(buffer, 0, size);
  if (!plat::CurrentDirectory(buffer, size)) {
    QVAD_FILL_ERROR(error, 22, plat::LastError());
    return 0;
  }
  return 1;
}

int Qvad_SetCurrentDir(const char *path, QVAD_ERROR_TBL *error) {
  if (!plat::ChangeCurrentDirectory(path)) {
    QVAD_FILL_ERROR(error, 22, plat::LastError());
    return 0;
  }
  return 1;
}
