// The front library's exports and its engine loader.
#pragma once
#include <cstddef>
#include <cstdint>

#include "cmn/qvaderror.h"
#include "hp_ov/qvademinv/qvademinv.h"
#include "platform/library.h"

extern "C" {
std::int32_t Qvad_InvInit(void);
std::int32_t Qvad_InvFile(INV_INFO *info);
std::int32_t Qvad_InvClose(void);
}

// The engine's entry points, bound by name, in this order.
struct QVAD_EMPROC_TBL {
  QVAD_EMINVINIT EmInvInit;
  QVAD_EMINVFILE EmInvFile;
  QVAD_EMINVCLOSE EmInvClose;
};

// Loads <install>\bin\qvademinv.dll: 1, or 0 (22 with 87, the install
// reader's code, 206 for an install folder too long, or the last error).
int Qvad_LoadEmLibrary(plat::Library *module, QVAD_ERROR_TBL *error);
// Binds the three entry points: 1, or 0 (22 with 87 or the last error).
int Qvad_GetEmProcAddress(plat::Library module, QVAD_EMPROC_TBL *table, QVAD_ERROR_TBL *error);
