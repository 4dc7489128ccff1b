// Jobs on Win32: a job object that kills its processes when its last handle
// closes. The handle is not inheritable and only the holder has it, so the
// job's processes end with Close and with the holder's end, however it
// ends: the system closes a dead process's handles. Nothing is left for a
// later run to end.
#include "platform/job.h"

#include <windows.h>

namespace plat {

JobHandle CreateJob(const char * /*record_dir*/) {
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
  ZeroMemory(&limits, sizeof limits);
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    DWORD e = ::GetLastError();
    ::CloseHandle(job);
    ::SetLastError(e);
    return nullptr;
  }
  return reinterpret_cast<JobHandle>(job);
}

void CloseJob(JobHandle job) {
  if (job == nullptr) return;
  // Closing the last handle ends them too; this says so for a job whose
  // handle another component may have duplicated.
  ::TerminateJobObject(reinterpret_cast<HANDLE>(job), 1);
  ::CloseHandle(reinterpret_cast<HANDLE>(job));
}

int EndLeftoverProcesses(const char * /*record_dir*/, std::uint32_t /*wait_ms*/, int *ended) {
  if (ended != nullptr) *ended = 0;
  return 0;
}

}  // namespace plat
