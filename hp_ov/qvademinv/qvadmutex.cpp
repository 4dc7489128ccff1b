// Creating and waiting for the run mutex.
#include "hp_ov/qvademinv/qvadmutex.h"

#include "cmn/qvadmiscinv/qvadfield.h"
#include "platform/error.h"
#include "platform/mutex.h"

int Qvad_CreateMutex(plat::RunMutexHandle *mutex, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (mutex == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -1;
  }
  int r = plat::CreateRunMutex(kQvadRunMutexName, mutex);
  if (r < 0) {
    QVAD_FILL_ERROR(error, 210, plat::LastError());
    return -1;
  }
  return r;
}

int Qvad_WaitForMutex(plat::RunMutexHandle mutex, std::uint32_t timeout_ms, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  std::uint32_t result = 0;
  int r = plat::WaitRunMutex(mutex, timeout_ms, &result);
  if (r == plat::kMutexAcquired) return 6;
  if (r == plat::kMutexTimedOut) return 7;
  QVAD_FILL_ERROR(error, 211, result);
  return -1;
}
