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
#include <string>

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

// The event dump command the worker started. Only the worker writes it
// (OvStartChild, OvEndChild); the loop reads its handle through
// OvChildProcess.
QVAD_PROCESS_INFORMATION g_child = {plat::kInvalidProcess, 0};

// Each entry carries the line of the statement that wrote it, so START and
// END are told apart by their position as well as their text.
void WriteMain(QVAD_TRACER *channel, const char *text, const char *source, int line) {
  Qvad_TraceWrite(channel, 0, 1, source, line, 2, static_cast<int>(std::strlen(text)), plat::ProcessId(), 0, text);
}

// Nobody reads a service's standard error on Windows, so a missing tracer
// is told to the event log (on Linux that is the journal as well).
void TracerNotice(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(code));
  Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_TRACER_MISSING, kOvProgramName, text, nullptr);
}

// The end every path of the worker takes, whichever step it leaves from:
// the pipe closed when it was made, the instance lock given back, the
// channels closed and the service asked to stop. status names the failure
// that ends it (0 for a requested stop).
class WorkerEnd {
 public:
  WorkerEnd() = default;
  WorkerEnd(const WorkerEnd &) = delete;
  WorkerEnd &operator=(const WorkerEnd &) = delete;
  ~WorkerEnd() {
    if (pipe_made) Qvad_ClosePipe(&pipe);
    if (status != 0) {
      Qvad_SetServiceExitCode(static_cast<std::uint32_t>(status));
      char note[128];
      std::snprintf(note, sizeof note, "qvadovevt: stopping after a failure (exit status %d); see the event log",
                    status);
      plat::NoteForOperator(note);
    }
    plat::UnlockInstance(lock);
    OvTraceInfo("Thread END", __FILE__, __LINE__);
    Qvad_TraceClose(&g_OvTraceError, 0);
    Qvad_TraceClose(&g_OvTraceInfo, 0);
    Qvad_RequestStop();
  }

  int status = 0;
  plat::InstanceLockHandle lock = plat::kInvalidInstanceLock;
  QVAD_PIPE pipe = {};
  bool pipe_made = false;
};

// The state files and the instance lock, all in <install>/etc.
struct WorkerPaths {
  char razevt[260];
  char evtkeep[260];
  char stoptime[260];
  char lock[260];
};

void OpenWorkerTrace() {
  std::memset(&g_OvTraceError, 0, sizeof g_OvTraceError);
  std::memset(&g_OvTraceInfo, 0, sizeof g_OvTraceInfo);
  Qvad_TraceOpen(&g_OvTraceError, 0, kOvErrorChannel);
  Qvad_TraceOpen(&g_OvTraceInfo, 0, kOvInfoChannel);
  OvTraceInfo("Thread START", __FILE__, __LINE__);
}

// The adapter's own directories: 0, or the exit status.
int FindPaths(WorkerPaths *paths) {
  char install[260] = {};
  std::uint32_t dir_rc = OvGetInstallDir(install, sizeof install);
  if (dir_rc == 0 &&
      (!OvEtcPath(install, kOvRazEvtIni, paths->razevt) || !OvEtcPath(install, kOvEvtKeep, paths->evtkeep) ||
       !OvEtcPath(install, kOvStopTime, paths->stoptime) || !OvEtcPath(install, kOvInstanceLock, paths->lock))) {
    dir_rc = 87;
  }
  if (dir_rc == 0) return 0;
  Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INSTALL_DIR_MISSING, nullptr);
  OV_ERROR("I failed in the acquisition of a pass. ErrorCode : %d", static_cast<int>(dir_rc));
  return kOvExitNotInstalled;
}

// Takes the instance lock before anything is started: 0, or the exit
// status when another service holds it.
int TakeInstanceLock(const char *lock_path, WorkerEnd *end) {
  end->lock = plat::LockInstance(lock_path);
  if (end->lock != plat::kInvalidInstanceLock) return 0;
  std::uint32_t lock_error = plat::LastError();
  if (lock_error == plat::kErrSharingViolation) {
    OV_ERROR("The service is already running for this install: %s is held by another process.", lock_path);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_ALREADY_RUNNING, lock_path, nullptr);
    char note[400];
    std::snprintf(note, sizeof note, "qvadovevt: already running for this install (%.300s is held)", lock_path);
    plat::NoteForOperator(note);
    return kOvExitAlreadyRunning;
  }
  // A folder where not even the lock can be made will not take the state
  // files either; that failure is reported when it happens. Forwarding
  // goes on without the guard.
  OV_ERROR("The instance lock %s could not be taken (%u); the service runs without it.", lock_path,
           static_cast<unsigned>(lock_error));
  return 0;
}

int MakePipe(WorkerEnd *end) {
  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (!Qvad_CreatePipe(&end->pipe, 1, 4097, &err)) {
    OvTraceErrorF(err.source, err.line, "I failed in making of a pipe. LocalErrorCode : %d  SystemErrorCode : %d ",
                  static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    // A runtime folder refused as untrusted is said in words: the codes
    // alone would read as a plain permission problem.
    std::string refusal;
    plat::RuntimeDir(&refusal);
    if (!refusal.empty()) {
      OV_ERROR("The pipe's folder is refused: %s", refusal.c_str());
      plat::NoteForOperator(("qvadovevt: the pipe's folder is refused: " + refusal).c_str());
    }
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PIPE_FAILED, nullptr);
    return kOvExitPipe;
  }
  end->pipe_made = true;
  OvTraceInfo("It succeeded in the Generate of the Pipe.", __FILE__, __LINE__);
  return 0;
}

// The event dump program in the network manager's install directory, into
// app: 0, or the exit status.
int FindDumpProgram(char *app, std::size_t size) {
  char nnm_dir[260] = {};
  std::int32_t rc =
      QvadGetRegistryData(plat::RegRoot::LocalMachine, kOvNnmKey, kOvNnmValue, nnm_dir, sizeof nnm_dir - 1);
  if (rc == 0) {
    // The value ends with a separator; a path that does not fit is refused
    // as if the directory were unknown.
    int n = std::snprintf(app, size, "%sbin%sovdumpevents%s", nnm_dir, plat::kSep, plat::kExeSuffix);
    if (n < 0 || static_cast<std::size_t>(n) >= size) rc = 206;
  }
  if (rc != 0) {
    OV_ERROR("HP OpenView NetworkNodeManager Get Install Directry Miss. ErrorCode : %d", static_cast<int>(rc));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INSTALL_DIR_MISSING, nullptr);
    return kOvExitNotInstalled;
  }
  OvTraceInfo("It succeeded in the Retrieved of the Install Directories of OpenView.", __FILE__, __LINE__);
  OvTraceInfo("It succeeded in the Retrieved of the Definition file Directories and the Event Log Directories.",
              __FILE__, __LINE__);
  return 0;
}

// How many minutes of past events to ask for. The look-back starts from the
// last handled event, or else from the last stop. A time ahead of the clock
// is not used (it would ask for a negative look-back and hide every event
// until then); the operator is told once.
std::int32_t LookBack(const WorkerPaths &paths) {
  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  std::int64_t reference = 0;
  bool from_keep = false, told = false;
  static char keep_text[kOvLineSize];
  std::memset(keep_text, 0, sizeof keep_text);
  if (OvGetLogCheck(paths.evtkeep, keep_text) == 1) {
    std::int32_t minutes_unused = 0, keep_time = 0;
    if (!OvGetDifTime(keep_text, &minutes_unused)) {
      OV_ERROR("I failed in the acquisition of the time between adapter stops. ErrorCode : %d", 0);
      std::remove(paths.evtkeep);
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
    if (OvGetStopTimeOnly(paths.stoptime, &stop_time)) {
      if (!OvTimeAhead(stop_time, now)) {
        reference = stop_time;
      } else if (!told) {
        OvTellClockAhead(kOvStopTime, stop_time, now);
      }
    }
  }
  return OvLookBackMinutes(reference, now);
}

// Starts the event dump command with its output on the pipe: 0, or the exit status.
int StartDump(const char *app, std::int32_t minutes, const QVAD_PIPE &pipe) {
  char command[64] = {};
  std::snprintf(command, sizeof command, "ovdumpevents.exe -l %d -t", static_cast<int>(minutes));
  QVAD_STARTUPINFO si;
  std::memset(&si, 0, sizeof si);
  si.use_std_handles = true;
  si.std_in = plat::FileHandleOf(stdin);
  si.std_out = plat::PipeStream(pipe.write_handle);
  si.std_err = plat::FileHandleOf(stderr);
  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (!OvStartChild(app, command, &si, &err)) {
    OV_ERROR("I failed in making of a process. LocalErrorCode : %d  SystemErrorCode : %d ",
             static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_DUMP_START_FAILED, nullptr);
    return kOvExitUnavailable;
  }
  OV_INFO("It succeeded in the Create Process. (%s)", command);
  return 0;
}

// Runs the event loop until a stop or a failure, then records the stop time
// and ends the child: 0 after a requested stop, else the exit status.
int Forward(const WorkerPaths &paths, QVAD_PIPE *pipe) {
  int result = OvGetParameter(paths.razevt, paths.evtkeep, pipe, paths.stoptime);
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
  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (OvEndChild(&err)) {
    OvTraceInfo("It succeeded in the Terminate Process.", __FILE__, __LINE__);
  } else {
    OV_ERROR("I failed in the end of a process. ErrorCode : (%d)", 0);
  }
  return result == 1 ? 0 : kOvExitProcessing;
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
  Qvad_ReportHeldBack(true);
  WriteMain(&info_channel, "END", __FILE__, __LINE__);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_SERVICE_ENDED, kOvProgramName, nullptr);
  Qvad_TraceClose(&error_channel, 0);
  Qvad_TraceClose(&info_channel, 0);
  return status;
}

std::uint32_t OvThreadMain(void *) {
  OpenWorkerTrace();
  WorkerEnd end;  // runs on every way out below
  WorkerPaths paths = {};
  if ((end.status = FindPaths(&paths)) != 0) return 0;
  if ((end.status = TakeInstanceLock(paths.lock, &end)) != 0) return 0;
  if ((end.status = MakePipe(&end)) != 0) return 0;
  char app[260] = {};
  if ((end.status = FindDumpProgram(app, sizeof app)) != 0) return 0;
  if ((end.status = StartDump(app, LookBack(paths), end.pipe)) != 0) return 0;
  end.status = Forward(paths, &end.pipe);
  return 0;
}

int OvStartChild(const char *app, const char *command, const QVAD_STARTUPINFO *startup, QVAD_ERROR_TBL *error) {
  std::memset(&g_child, 0, sizeof g_child);
  g_child.process = plat::kInvalidProcess;
  return Qvad_CreateProcess(app, command, nullptr, nullptr, 1, 0, nullptr, nullptr, startup, &g_child, error);
}

plat::ProcessHandle OvChildProcess() { return g_child.process; }

int OvEndChild(QVAD_ERROR_TBL *error) {
  int ok = Qvad_TerminateProcess(g_child.process, 0, error);
  g_child.process = plat::kInvalidProcess;
  return ok;
}
