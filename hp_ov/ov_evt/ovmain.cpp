// The service program: OvMain traces and reports its start, hands over to
// the service framework with OvThreadMain as the worker, and reports its
// end. The worker finds the network manager's and the adapter's install
// directories, works out how many minutes of past events to ask for, starts
// the event dump command on the pipe, runs the event loop, and on the way
// out records the stop time before it ends the child. Whatever way the
// worker ends, it requests the service stop itself; when it ends after a
// failure it first names the failure as the service's exit code.
//
// Before it touches anything, the worker locks qvadovevt.lock beside the
// state files: two services working on one install would forward every
// event twice and fight over the state files, whatever runtime folder each
// was started with.
#include "hp_ov/ov_evt/ovmain.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadinstall.h"
#include "cmn/qvadpipe/qvadpipe.h"
#include "cmn/qvadproc/qvadproc.h"
#include "cmn/qvadservice/qvadservice.h"
#include "cmn/qvadtrace.h"
#include "hp_ov/ov_evt/ovloop.h"
#include "hp_ov/ov_evt/ovparse.h"
#include "hp_ov/ov_evt/ovstate.h"
#include "hp_ov/ov_evt/ovtrace.h"
#include "platform/error.h"
#include "platform/eventlog.h"
#include "platform/mutex.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace {

QVAD_PIPE g_pipe;
plat::Handle g_instance_lock = plat::kInvalidHandle;

// Each entry carries the line of the statement that wrote it, so START and
// END are told apart by their position as well as their text.
void WriteMain(QVAD_TRACER *channel, const char *text, const char *source, int line) {
  Qvad_TraceWrite(channel, 0, 1, source, line, 2, static_cast<int>(std::strlen(text)), plat::ProcessId(), 0, text);
}

// The end sequence every path of the worker takes; exit_code names the
// failure that ends it (0 for a requested stop).
std::uint32_t EndWorker(int exit_code = 0) {
  if (exit_code != 0) {
    Qvad_SetServiceExitCode(static_cast<std::uint32_t>(exit_code));
    char note[128];
    std::snprintf(note, sizeof note, "qvadovevt: stopping after a failure (exit status %d); see the event log",
                  exit_code);
    plat::NoteForOperator(note);
  }
  plat::UnlockInstance(g_instance_lock);
  g_instance_lock = plat::kInvalidHandle;
  OvTraceInfo("Thread END", __FILE__, __LINE__);
  Qvad_TraceClose(&g_OvTraceError, 0);
  Qvad_TraceClose(&g_OvTraceInfo, 0);
  Qvad_RequestStop();
  return 0;
}

// Nobody reads a service's standard error on Windows, so a missing tracer
// is told to the event log (on Linux that is the journal as well).
void TracerNotice(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(code));
  Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_TRACER_MISSING, kOvProgramName, text, nullptr);
}

}  // namespace

int OvMain() {
  // Under systemd standard error is the journal: every error event also
  // lands there as a plain line, so `journalctl -u` shows why it stopped.
  plat::SetEventEcho(true);
  Qvad_SetTracerNotice(TracerNotice);
  QVAD_TRACER error_channel, info_channel;
  std::memset(&error_channel, 0, sizeof error_channel);
  std::memset(&info_channel, 0, sizeof info_channel);
  Qvad_TraceOpen(&error_channel, 0, kOvErrorChannel);
  Qvad_TraceOpen(&info_channel, 0, kOvInfoChannel);
  WriteMain(&info_channel, "START", __FILE__, __LINE__);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_SERVICE_STARTED, kOvProgramName, nullptr);

  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (Qvad_CreateService(kOvServiceName, OvThreadMain, &err) == 0) {
    Qvad_TraceF(&error_channel, 0, 1, __FILE__, __LINE__, 0,
                "Service Create Error. LocalErrorCode : %d  SystemErrorCode : %d ", static_cast<int>(err.local_code),
                static_cast<int>(err.system_code));
  }
  int status = kOvExitStopped;
  if (Qvad_ServiceExitCode() != 0) {
    status = static_cast<int>(Qvad_ServiceExitCode());
  } else if (err.local_code != 0 && err.local_code != 22) {
    status = kOvExitFramework;  // 22: not started by a service manager, nothing to restart
  }
  WriteMain(&info_channel, "END", __FILE__, __LINE__);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_SERVICE_ENDED, kOvProgramName, nullptr);
  Qvad_TraceClose(&error_channel, 0);
  Qvad_TraceClose(&info_channel, 0);
  return status;
}

std::uint32_t OvThreadMain(void *) {
  std::memset(&g_OvTraceError, 0, sizeof g_OvTraceError);
  std::memset(&g_OvTraceInfo, 0, sizeof g_OvTraceInfo);
  Qvad_TraceOpen(&g_OvTraceError, 0, kOvErrorChannel);
  Qvad_TraceOpen(&g_OvTraceInfo, 0, kOvInfoChannel);
  OvTraceInfo("Thread START", __FILE__, __LINE__);

  // The adapter's own directories first: the instance lock lies beside the
  // state files and is taken before anything is started.
  char install[260] = {};
  std::uint32_t dir_rc = OvGetInstallDir(install, sizeof install);
  char razevt[260] = {}, evtkeep[260] = {}, stoptime[260] = {}, lock_path[260] = {};
  if (dir_rc == 0 && (!OvEtcPath(install, kOvRazEvtIni, razevt) || !OvEtcPath(install, kOvEvtKeep, evtkeep) ||
                      !OvEtcPath(install, kOvStopTime, stoptime) || !OvEtcPath(install, kOvInstanceLock, lock_path))) {
    dir_rc = 87;
  }
  if (dir_rc != 0) {
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INSTALL_DIR_MISSING, nullptr);
    OV_ERROR("I failed in the acquisition of a pass. ErrorCode : %d", static_cast<int>(dir_rc));
    return EndWorker(kOvExitNotInstalled);
  }
  g_instance_lock = plat::LockInstance(lock_path);
  if (g_instance_lock == plat::kInvalidHandle) {
    std::uint32_t lock_error = plat::LastError();
    if (lock_error == plat::kErrSharingViolation) {
      OV_ERROR("The service is already running for this install: %s is held by another process.", lock_path);
      Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_ALREADY_RUNNING, lock_path, nullptr);
      char note[400];
      std::snprintf(note, sizeof note, "qvadovevt: already running for this install (%.300s is held)", lock_path);
      plat::NoteForOperator(note);
      return EndWorker(kOvExitAlreadyRunning);
    }
    // A folder where not even the lock can be made will not take the state
    // files either; that failure is reported when it happens. Forwarding
    // goes on without the guard.
    OV_ERROR("The instance lock %s could not be taken (%u); the service runs without it.", lock_path,
             static_cast<unsigned>(lock_error));
  }

  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (!Qvad_CreatePipe(&g_pipe, 1, 4097, &err)) {
    OvTraceErrorF(err.source, err.line, "I failed in making of a pipe. LocalErrorCode : %d  SystemErrorCode : %d ",
                  static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PIPE_FAILED, nullptr);
    return EndWorker(kOvExitPipe);
  }
  OvTraceInfo("It succeeded in the Generate of the Pipe.", __FILE__, __LINE__);

  char nnm_dir[260] = {};
  std::int32_t rc = QvadGetRegistryData(plat::RegRoot::LocalMachine, kOvNnmKey, kOvNnmValue, nnm_dir,
                                        sizeof nnm_dir - 1);
  char app[260] = {};
  if (rc == 0) {
    // The value ends with a separator; a path that does not fit is refused
    // as if the directory were unknown.
    int n = std::snprintf(app, sizeof app, "%sbin%sovdumpevents%s", nnm_dir, plat::kSep, plat::kExeSuffix);
    if (n < 0 || n >= static_cast<int>(sizeof app)) rc = 206;
  }
  if (rc != 0) {
    OV_ERROR("HP OpenView NetworkNodeManager Get Install Directry Miss. ErrorCode : %d", static_cast<int>(rc));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INSTALL_DIR_MISSING, nullptr);
    Qvad_ClosePipe(&g_pipe);
    return EndWorker(kOvExitNotInstalled);
  }
  OvTraceInfo("It succeeded in the Retrieved of the Install Directories of OpenView.", __FILE__, __LINE__);
  OvTraceInfo("It succeeded in the Retrieved of the Definition file Directories and the Event Log Directories.",
              __FILE__, __LINE__);

  // The look-back starts from the last handled event, or else from the last
  // stop. A time ahead of the clock is not used (it would ask for a
  // negative look-back and hide every event until then); the operator is
  // told once.
  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  std::int64_t reference = 0;
  bool from_keep = false, told = false;
  static char keep_text[kOvLineSize];
  std::memset(keep_text, 0, sizeof keep_text);
  if (OvGetLogCheck(evtkeep, keep_text) == 1) {
    std::int32_t minutes_unused = 0, keep_time = 0;
    if (!OvGetDifTime(keep_text, &minutes_unused)) {
      OV_ERROR("I failed in the acquisition of the time between adapter stops. ErrorCode : %d", 0);
      std::remove(evtkeep);
      Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_NOT_STORED, nullptr);
    } else if (OvGetEventTime(keep_text, &keep_time) == 0 && OvTimeAhead(keep_time, now)) {
      OvTellClockAhead(kOvEvtKeep, keep_time, now);
      told = true;
    } else {
      reference = keep_time;
      from_keep = true;
    }
  }
  if (!from_keep) {
    std::int32_t stop_time = 0;
    if (OvGetStopTimeOnly(stoptime, &stop_time)) {
      if (!OvTimeAhead(stop_time, now)) {
        reference = stop_time;
      } else if (!told) {
        OvTellClockAhead(kOvStopTime, stop_time, now);
      }
    }
  }
  std::int32_t minutes = OvLookBackMinutes(reference, now);

  char command[64] = {};
  std::snprintf(command, sizeof command, "ovdumpevents.exe -l %d -t", static_cast<int>(minutes));
  QVAD_STARTUPINFO si;
  std::memset(&si, 0, sizeof si);
  si.use_std_handles = true;
  si.std_in = plat::FileHandleOf(stdin);
  si.std_out = g_pipe.write_handle;
  si.std_err = plat::FileHandleOf(stderr);
  std::memset(&g_OvChildInfo, 0, sizeof g_OvChildInfo);
  if (!Qvad_CreateProcess(app, command, nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &g_OvChildInfo, &err)) {
    OV_ERROR("I failed in making of a process. LocalErrorCode : %d  SystemErrorCode : %d ",
             static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_DUMP_START_FAILED, nullptr);
    Qvad_ClosePipe(&g_pipe);
    return EndWorker(kOvExitUnavailable);
  }
  OV_INFO("It succeeded in the Create Process. (%s)", command);

  int result = OvGetParameter(razevt, evtkeep, &g_pipe, stoptime);
  bool stop_kept = OvStopTime() != 0;
  OvStateWriteOutcome(stop_kept, kOvStopTime);
  if (result == 1) {
    OvTraceInfo("Because the Not Running Req was accepted, it stops.", __FILE__, __LINE__);
  } else {
    OV_ERROR("I failed in the acquisition a notice of an event. ErrorCode : %d", 0);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PROCESSING_FAILED, nullptr);
  }
  if (stop_kept) {
    OvTraceInfo("Adapters Not Running The Time was preserved in the FILE.", __FILE__, __LINE__);
  } else {
    OvTraceError("Adapters Not Running The Time was not able to be preserved in the FILE.", __FILE__, __LINE__);
  }
  if (Qvad_TerminateProcess(g_OvChildInfo.process, 0, &err)) {
    OvTraceInfo("It succeeded in the Terminate Process.", __FILE__, __LINE__);
  } else {
    OV_ERROR("I failed in the end of a process. ErrorCode : (%d)", 0);
  }
  g_OvChildInfo.process = plat::kInvalidHandle;
  Qvad_ClosePipe(&g_pipe);
  return EndWorker(result == 1 ? 0 : kOvExitProcessing);
}
