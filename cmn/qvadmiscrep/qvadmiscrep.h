// Handing the run's repository file to the asset inventory's file-transfer
// command, and saving and restoring the current folder around it.
#pragma once
#include <cstddef>

#include "cmn/qvaderror.h"

// Runs fxsend on the file from within dir: 1 when it exited with 0, else 0.
int Qvad_fxsend(const char *dir, const char *file, const char *repinfo_path, QVAD_ERROR_TBL *error);
// 1 with the current folder (buffer cleared first), or 0 (22, last error).
int Qvad_GetCurrentDir(char *buffer, std::size_t size, QVAD_ERROR_TBL *error);
// 1, or 0 (22, last error).
int Qvad_SetCurrentDir(const char *path, QVAD_ERROR_TBL *error);
