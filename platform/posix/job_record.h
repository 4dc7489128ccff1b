// Inside the POSIX backend: what the process code needs of a job.
#pragma once
#include <sys/types.h>

#include <string>

#include "platform/job.h"

namespace plat {

// The state (field 3) and start time (field 22) of /proc/<pid>/stat: true,
// or false when the process is not there.
bool ProcessStartTime(pid_t pid, char *state, unsigned long long *start);

// Records a child just started into the job: the record file's path, to be
// removed once the child has been reaped; empty when none could be written.
std::string JobRecordChild(JobHandle job, pid_t pid);

}  // namespace plat
