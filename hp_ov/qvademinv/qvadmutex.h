// The run mutex "Global\qavdinv" that keeps inventory runs of all processes apart.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"
#include "platform/mutex.h"

inline constexpr const char kQvadRunMutexName[] = "Global\\qavdinv";

// 0 created and owned, 5 existed (handle returned, not owned), -1 (210, last
// error; 22/87 for a null out pointer).
int Qvad_CreateMutex(plat::RunMutexHandle *mutex, QVAD_ERROR_TBL *error);
// 6 acquired, 7 timed out, -1 (211, the wait result).
int Qvad_WaitForMutex(plat::RunMutexHandle mutex, std::uint32_t timeout_ms, QVAD_ERROR_TBL *error);
