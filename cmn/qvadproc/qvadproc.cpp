// Starting and ending child processes for the service and the engine, with
// failures told through the caller's error record.
#include "cmn/qvadproc/qvadproc.h"

#include "platform/error.h"
#include "platform/process.h"

int Qvad_CreateProcess(const char *application, const char *command_line, void *process_security, void *thread_security,
                       int inherit_handles, std::uint32_t /*creation_flags*/, void *environment,
                       const char *current_directory, const QVAD_STARTUPINFO *startup, QVAD_PROCESS_INFORMATION *info,
                       QVAD_ERROR_TBL *error) {
  // Neither platform's callers pass security or an environment of their own;
  // refusing them beats silently ignoring them.
  if (process_security != nullptr || thread_security != nullptr || environment != nullptr || info == nullptr) {
    QVAD_FILL_ERROR(error, 2, plat::kErrInvalidParameter);
    return 0;
  }
  plat::ProcessOptions options;
  options.application = application;
  options.directory = current_directory;
  if (startup != nullptr) {
    if (startup->use_std_handles && inherit_handles) {
      options.std_in = startup->std_in;
      options.std_out = startup->std_out;
      options.std_err = startup->std_err;
    }
    options.hidden = startup->hidden;
    options.job = startup->job;
  }
  plat::Process p;
  if (!plat::StartProcess(command_line, options, &p)) {
    QVAD_FILL_ERROR(error, 2, plat::LastError());
    return 0;
  }
  info->process = p.handle;
  info->pid = p.pid;
  return 1;
}

int Qvad_TerminateProcess(plat::ProcessHandle process, std::uint32_t exit_code, QVAD_ERROR_TBL *error) {
  int ok = plat::TerminateProcess(process, exit_code) ? 1 : 0;
  if (!ok) QVAD_FILL_ERROR(error, 5, plat::LastError());
  plat::CloseProcess(process);
  return ok;
}
