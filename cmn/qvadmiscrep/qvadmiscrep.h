// Handing the run's repository file to the asset inventory's file-transfer
// command.
#pragma once
#include <cstddef>

#include "cmn/qvaderror.h"
#include "platform/job.h"

// Runs fxsend on the file with dir as its working folder: 1 when it exited
// with 0, else 0 (22 for a missing folder; 2 when it could not start). With
// a job (platform/job.h) the command belongs to it and ends with it.
int Qvad_fxsend(const char *dir, const char *file, const char *repinfo_path, QVAD_ERROR_TBL *error,
                plat::JobObject *job = nullptr);
