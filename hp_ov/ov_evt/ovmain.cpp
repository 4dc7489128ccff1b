// The service program: OvMain traces and reports its start, hands over to
// the service framework with OvThreadMain as the worker, and reports its
// end. The worker finds the network manager's and the adapter's install
// directories, works out how many minutes of past events to ask for, starts
// the event dump command on the pipe, runs the event loop, and on the way
// out records the stop time before it ends the child. Whatever way the
// worker ends, it requests the service stop itself.
#include "hp_ov/ov_evt/ovmain.h"

#include <cstdio>
#include <cstring>

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
#include "platform/eventlog.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace {

QVAD_PIPE g_pipe;

// Each entry carries the line of the statement that wrote it, so START and
// END are told apart by their position as well as their text.
void WriteMain(QVAD_TRACER *channel, const char *text, const char *source, int line) {
  Qvad_TraceWrite(channel, 0, 1, source, line, 2, static_cast<int>(std::strlen(text)), plat::ProcessId(), 0, text);
}

// The end sequence every path of the worker takes.
std::uint32_t EndWorker() {
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
  WriteMain(&info_channel, "END", __FILE__, __LINE__);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_SERVICE_ENDED, kOvProgramName, nullptr);
  Qvad_TraceClose(&error_channel, 0);
  Qvad_TraceClose(&info_channel, 0);
  return 1;
}

std::uint32_t OvThreadMain(void *) {
  std::memset(&g_OvTraceError, 0, sizeof g_OvTraceError);
  std::memset(&g_OvTraceInfo, 0, sizeof g_OvTraceInfo);
  Qvad_TraceOpen(&g_OvTraceError, 0, kOvErrorChannel);
  Qvad_TraceOpen(&g_OvTraceInfo, 0, kOvInfoChannel);
  OvTraceInfo("Thread START", __FILE__, __LINE__);

  QVAD_ERROR_TBL err;
  std::memset(&err, 0, sizeof err);
  if (!Qvad_CreatePipe(&g_pipe, 1, 4097, &err)) {
    OvTraceErrorF(err.source, err.line, "I failed in making of a pipe. LocalErrorCode : %d  SystemErrorCode : %d ",
                  static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PIPE_FAILED, nullptr);
    return EndWorker();
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
    return EndWorker();
  }
  OvTraceInfo("It succeeded in the Retrieved of the Install Directories of OpenView.", __FILE__, __LINE__);

  char install[260] = {};
  std::uint32_t dir_rc = OvGetInstallDir(install, sizeof install);
  char razevt[260] = {}, evtkeep[260] = {}, stoptime[260] = {};
  if (dir_rc == 0 && (!OvEtcPath(install, kOvRazEvtIni, razevt) || !OvEtcPath(install, kOvEvtKeep, evtkeep) ||
                      !OvEtcPath(install, kOvStopTime, stoptime))) {
    dir_rc = 87;
  }
  if (dir_rc != 0) {
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INSTALL_DIR_MISSING, nullptr);
    OV_ERROR("I failed in the acquisition of a pass. ErrorCode : %d", static_cast<int>(dir_rc));
    Qvad_ClosePipe(&g_pipe);
    return EndWorker();
  }
  OvTraceInfo("It succeeded in the Retrieved of the Definition file Directories and the Event Log Directories.",
              __FILE__, __LINE__);

  std::int32_t minutes = 0;
  static char keep_text[kOvLineSize];
  std::memset(keep_text, 0, sizeof keep_text);
  if (OvGetLogCheck(evtkeep, keep_text) == 1) {
    if (!OvGetDifTime(keep_text, &minutes)) {
      OV_ERROR("I failed in the acquisition of the time between adapter stops. ErrorCode : %d", 0);
      std::remove(evtkeep);
      Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_NOT_STORED, nullptr);
      OvGetStopTime(stoptime, &minutes);
    }
  } else {
    OvGetStopTime(stoptime, &minutes);
  }

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
    return EndWorker();
  }
  OV_INFO("It succeeded in the Create Process. (%s)", command);

  int result = OvGetParameter(razevt, evtkeep, &g_pipe, stoptime);
  if (result == 1) {
    OvTraceInfo("Because the Not Running Req was accepted, it stops.", __FILE__, __LINE__);
  } else {
    OV_ERROR("I failed in the acquisition a notice of an event. ErrorCode : %d", 0);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PROCESSING_FAILED, nullptr);
  }
  if (OvStopTime()) {
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
  return EndWorker();
}
