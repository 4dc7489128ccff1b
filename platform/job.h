// The processes of one run as a group: every child started into a job ends
// when the job is closed, and when the process that holds the job ends,
// however it ends. On Win32 a job object that kills its processes when its
// last handle closes. On POSIX each child gets a process group of its own
// (so ending it ends what it started), the death signal (it is killed when
// the thread that started it ends, which a killed process's threads all
// do), and a record file in the job's record folder (its pid and start
// time) that a later run reads to end what a process that died in a way no
// signal reaches could have left.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

struct JobObject;
using JobHandle = JobObject *;

// Opens a job; record_dir is the folder of its records (POSIX; created when
// missing; ignored on Win32). Null with the last error set on failure.
JobHandle CreateJob(const char *record_dir);

// Ends every process still in the job and closes it. A null handle is ignored.
void CloseJob(JobHandle job);

// Ends the processes that jobs of earlier runs recorded in record_dir and
// that still run, and waits up to wait_ms until they are gone: the number
// still running then (0 when all are gone). *ended, when given, gets the
// number that had to be ended. On Win32 nothing can be left (the job ended
// them with its holder): 0.
int EndLeftoverProcesses(const char *record_dir, std::uint32_t wait_ms, int *ended);

}  // namespace plat
