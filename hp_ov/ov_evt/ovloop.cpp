// The event loop. Each pass polls the child and the stop request, waits up
// to 3 seconds for the pipe, and cuts what arrived into lines, carrying an
// unfinished line into the next block. Each line is taken apart, its host
// checked, its severity looked up, and the duplicate rule applied: after a
// restart, events earlier than the last handled one, and the first
// stored-count events of the same second, were forwarded before and are
// skipped. Progress (EvtCount.txt, then EvtKeep.txt) is recorded after every
// forwarded event; a skipped one writes nothing, so progress on disk never
// moves back to an earlier event (a kill during the replay would otherwise
// make the next start forward everything after that event again).
//
// The count is written before the line: a kill between the two leaves a
// count that is too high for the old line's second only when the new event
// opened a new second, which makes the next start forward that old second
// again, never skip a new event. An event stamped ahead of this computer's
// clock is forwarded but never becomes the last handled time, which would
// make every event until then look handled.
//
// An event the console keeps nowhere (-1) is offered again, after 1 s, then
// 2, 4, ... up to 60 s between tries, until it is taken or the service is
// asked to stop; the events after it wait behind it in the pipe, so they
// reach the console in order. The outage is told once when it starts and
// once when it ends. A stop during the outage leaves that event and the
// rest of the block unrecorded: the next start asks for them again.
#include "hp_ov/ov_evt/ovloop.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadprofile.h"
#include "cmn/qvadservice/qvadservice.h"
#include "hp_ov/ov_evt/ovcnsput.h"
#include "hp_ov/ov_evt/ovcut.h"
#include "hp_ov/ov_evt/ovmain.h"
#include "hp_ov/ov_evt/ovparse.h"
#include "hp_ov/ov_evt/ovstate.h"
#include "hp_ov/ov_evt/ovstatus.h"
#include "hp_ov/ov_evt/ovtrace.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace {

constexpr std::uint32_t kPipeWaitMs = 3000;
// The waits between offers of an event the console refused.
constexpr std::uint32_t kRetryFirstMs = 1000;
constexpr std::uint32_t kRetryLongestMs = 60000;
// A service manager that stops the service signals its child too: a child
// that ends this long before the stop request arrives ends with the stop.
constexpr std::uint32_t kChildStopGraceMs = 1000;

// A console that refuses events: since when, and how many offers of the
// event at the head of the line it has refused.
struct Outage {
  bool active = false;
  std::int64_t since = 0;       // wall clock, for the operator
  std::int64_t since_mono = 0;  // monotonic, for the duration
  std::uint32_t attempts = 0;
};

struct RunState {
  bool told_clock = false;  // the operator heard of a time ahead of the clock
  bool stopping = false;    // a stop came while the console refused: record nothing more
  Outage outage;
  OV_DUP_STATE dup = {};
  // Fixed buffers of one run, allocated once.
  OV_CARRY carry;
  char line[kOvLineSize];
  char host[kOvHostSize];
  char message[kOvMessageSize];
  char key[kOvSeveritySize];
};

struct LoopContext {
  RunState *state;
  const char *razevt;
  const char *evtkeep;
};

// The console takes events again: said once, with how long it refused.
void EndOutage(RunState *s) {
  Outage &o = s->outage;
  std::int64_t seconds = (plat::MonotonicMillis() - o.since_mono + 500) / 1000;
  char since[32] = {}, attempts[16], duration[24];
  std::time_t t = static_cast<std::time_t>(o.since);
  const std::tm *local = std::localtime(&t);
  if (local != nullptr) std::strftime(since, sizeof since, "%Y-%m-%d %H:%M:%S", local);
  std::snprintf(attempts, sizeof attempts, "%u", static_cast<unsigned>(o.attempts));
  std::snprintf(duration, sizeof duration, "%lld", static_cast<long long>(seconds));
  OV_INFO("The console takes events again: the event refused since %s was taken after %u refused offers in %lld s.",
          since, static_cast<unsigned>(o.attempts), static_cast<long long>(seconds));
  Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_CONSOLE_BACK, since, attempts, duration, nullptr);
  o = Outage{};
  OvStatusConsoleBack();
}

// Hands the event to the console until it takes it: true once it did
// (whatever it answered but -1), false when a stop was requested while the
// console refused it; the event is then not recorded.
bool Notify(RunState *s, int severity, std::int32_t event_time) {
  std::uint32_t wait_ms = kRetryFirstMs;
  for (;;) {
    int result =
        cnsput3(nullptr, severity, s->host, nullptr, static_cast<int>(event_time), 0, 0, 0, 0, 0, 0, 0, s->message);
    if (result != kCnsNotStored) {
      if (s->outage.active) EndOutage(s);
      OvStatusForwarded(event_time, result);
      if (result == kCnsConsoleDown) {
        OV_ERROR("Because Ordovan stopped, I wrote in a message at a file at one time. : (%d)", -2);
      } else if (result == kCnsAlreadyNotified) {
        OV_ERROR("The Notif was not processed because the Event which had already been notified. : (%d)", -3);
      } else if (result >= 0) {
        OV_INFO("It succeeded in the Notif of the Event.");
      }
      return true;
    }
    OV_ERROR("It failed in the storage of the Msg to Ordovan in Notif or Temporary files. : (%d)", -1);
    Outage &o = s->outage;
    if (!o.active) {
      o.active = true;
      o.since = static_cast<std::int64_t>(std::time(nullptr));
      o.since_mono = plat::MonotonicMillis();
      Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_NOT_STORED, nullptr);
    }
    ++o.attempts;
    OvStatusConsoleRefusing(o.since, o.attempts, event_time);
    OvStatusReport();
    OV_ERROR("The console refused the event (offer %u); it is offered again in %u ms, and the events after it wait.",
             static_cast<unsigned>(o.attempts), static_cast<unsigned>(wait_ms));
    if (Qvad_IsStopRequested(wait_ms) == 1) {
      OV_INFO("The Stop Service Req was received while the console refused the event; it stays unrecorded.");
      s->stopping = true;
      return false;
    }
    wait_ms = wait_ms >= kRetryLongestMs / 2 ? kRetryLongestMs : wait_ms * 2;
  }
}

// Takes the line apart into the run's buffers: false when it is refused
// (told to the trace, the event log and the counters).
bool ParseLine(RunState *s, std::int32_t *event_time) {
  const char *line = s->line;
  std::memset(s->host, 0, sizeof s->host);
  std::memset(s->message, 0, sizeof s->message);
  std::memset(s->key, 0, sizeof s->key);

  int rc = OvGetEventTime(line, event_time);
  if (rc != 0) {
    OV_ERROR("I failed in the acquisition of the event outbreak time. : (%d)", rc);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_BAD_LINE, line, nullptr);
    OvStatusRefused();
    return false;
  }
  rc = OvGetHostName(line, s->host);
  if (rc != 0) {
    OV_ERROR("Host name acquisition failure. : (%d)", rc);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_BAD_LINE, line, nullptr);
    OvStatusRefused();
    return false;
  }
  OvToLower(s->host);
  if (!OvIsIpAddress(s->host)) {
    QVAD_TRACE3(&g_OvTraceInfo, 1, "No IP though the Host Name was checked. (%s)", s->host);
    if (!OvIsHostName(s->host)) {
      QVAD_TRACE(&g_OvTraceInfo, 1, "The Event Notif is not done because no Host Name. (%s)", s->host);
      OvStatusRefused();
      return false;
    }
  }
  rc = OvGetEventMessage(line, s->message);
  if (rc != 0) {
    OV_ERROR("Acquisition failure of an event message. : (%d)", rc);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_BAD_LINE, line, nullptr);
    OvStatusRefused();
    return false;
  }
  rc = OvGetSeverity(line, s->key);
  if (rc != 0) {
    OV_ERROR("Severity number acquisition failure. : (%d)", rc);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_NO_SEVERITY, line, nullptr);
    std::memset(s->key, 0, sizeof s->key);
    s->key[0] = '0';
  }
  OV_INFO("It succeeded in the Retrieved of the Event Data.");
  return true;
}

// The console severity of the line's key, from the definition file.
int SeverityOf(const RunState *s, const char *razevt) {
  int value = static_cast<int>(QvadGetPrivateProfileInt("Severity", s->key, -1, razevt));
  if (value == -1) {
    OV_ERROR("The designated key was not acquired from the definition file. Section : %s Key : %s", "Severity", s->key);
    return 768;
  }
  OV_INFO("It succeeded in the Retrieved of Severity(%d).", value);
  return value | 0x300;
}

// An event stamped ahead of the clock is forwarded, since it may be a real
// event of a clock set back, but not recorded: it must not become the
// reference of the duplicate rule. A restart may forward it again.
void ForwardAheadOfClock(RunState *s, int severity, std::int32_t event_time, std::int64_t now) {
  if (!s->told_clock) {
    s->told_clock = true;
    char what[160];
    std::snprintf(what, sizeof what, "The event line \"%.120s\"", s->line);
    OvTellClockAhead(what, event_time, now);
  }
  OV_ERROR("The event time %d is ahead of the clock; the event is forwarded but not kept as the last handled.",
           static_cast<int>(event_time));
  Notify(s, severity, event_time);
}

// Records a forwarded event: the count, then the line.
void RecordProgress(const RunState *s, const char *evtkeep) {
  bool count_ok = OvCountWrite(s->dup.run_index) != 0;
  if (count_ok) {
    OV_INFO("It succeeded in writing the Count Quantity.");
  } else {
    OV_ERROR("It failed in writing the Count Quantity.");
  }
  bool keep_ok = OvLogSaveFile(s->line, evtkeep) != 0;
  if (keep_ok) {
    OV_INFO("The notified Event was saved to the log file.");
  } else {
    OV_ERROR("fail in a save of a log file");
  }
  OvStateWriteOutcome(count_ok && keep_ok, count_ok ? kOvEvtKeep : kOvEvtCount);
}

void ProcessLine(RunState *s, const char *razevt, const char *evtkeep) {
  if (s->stopping) return;  // the rest of the block is asked for again at the next start
  std::int32_t event_time = 0;
  if (!ParseLine(s, &event_time)) return;
  int severity = SeverityOf(s, razevt);
  OV_INFO("cnsput3( NULL, %d, %s, NULL, %d, 0, 0, NULL, 0, %s ).", severity, s->host, static_cast<int>(event_time),
          s->message);

  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  if (OvTimeAhead(event_time, now)) {
    ForwardAheadOfClock(s, severity, event_time, now);
    return;
  }
  switch (OvDuplicateRule(&s->dup, event_time)) {
    case OvDupVerdict::Earlier:
      OV_ERROR("The Notif is not done because the Event which has already been notified.(%d > %d)",
               static_cast<int>(s->dup.last_time), static_cast<int>(event_time));
      OvStatusRepeat();
      return;
    case OvDupVerdict::Handled:
      // Handled before the restart, and recorded then: nothing to write.
      OV_ERROR("The Notif was not processed because the Event which had already been notified. : (%d)", -3);
      OvStatusRepeat();
      return;
    case OvDupVerdict::New: break;
  }
  if (!Notify(s, severity, event_time)) return;
  RecordProgress(s, evtkeep);
}

// Where the duplicate rule starts: the last handled time from EvtKeep.txt,
// else from StopTime.txt. The count belongs to the EvtKeep.txt line it was
// written with: when the last time comes from anywhere else, no event of
// that second is known to be handled, and the count is not used.
void LoadProgress(RunState *s, const char *evtkeep_path, const char *stoptime_path) {
  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  bool from_keep = false;
  if (OvGetLogCheck(evtkeep_path, s->line)) {
    OV_ERROR("There was EvtKeep.txt. The Event notified last time is acquired. : (%s)", s->line);
    std::int32_t t = 0;
    int rc = OvGetEventTime(s->line, &t);
    if (rc == kOvNoSpace) {
      OV_ERROR("It comes off processing because the Space was not found.  (%d)", rc);
    } else if (rc != 0) {
      OV_ERROR("It comes off processing because the numerical value was not found.  (%d)", rc);
    } else if (OvTimeAhead(t, now)) {
      // The worker has told the operator; here it is only not used.
      OV_ERROR("EvtKeep.txt has the time %d, ahead of the clock; it is not taken as the last handled time.",
               static_cast<int>(t));
    } else {
      s->dup.last_time = t;
      from_keep = true;
    }
  } else {
    OV_ERROR("There was EvtKeep.txt or the Confirmation cannot have been done. : (%d)", 0);
  }
  if (!from_keep) {
    std::int32_t t = 0;
    if (OvGetStopTimeOnly(stoptime_path, &t) && !OvTimeAhead(t, now)) {
      s->dup.last_time = t;
      OV_ERROR("The Retrieved of The Time can have been done from StopTime.txt.");
    } else {
      OV_ERROR("The Retrieved of The Time cannot have been done from StopTime.txt.");
    }
  }
  if (!from_keep) {
    s->dup.stored_count = 0;
    OV_ERROR("The Count Quantity is not used: it belongs to the line EvtKeep.txt does not hold.");
  } else if (OvCountRead(&s->dup.stored_count)) {
    OV_INFO("It succeeded in reading the Count Quantity.");
  } else {
    OV_ERROR("It failed in reading the Count Quantity.");
  }
}

// One pass of the loop: 1 stop requested, 0 failed, -1 go on.
int LoopPass(QVAD_PIPE *pipe, LoopContext *context) {
  QVAD_ERROR_TBL err;
  if (plat::WaitProcess(OvChildProcess(), 0) != 1) {
    // A service manager that stops the service signals the whole group:
    // the child may end a moment before the service hears of the stop.
    if (Qvad_IsStopRequested(kChildStopGraceMs) == 1) {
      OV_INFO("The Stop Service Req was received; ovdumpevents ended with the stop.");
      return 1;
    }
    std::uint32_t code = 0;
    plat::ProcessExitCode(OvChildProcess(), &code);
    OV_ERROR("ovdumpevents process has stopped. Detail=%d", static_cast<int>(code));
    return 0;
  }
  if (Qvad_IsStopRequested(0) == 1) {
    OV_INFO("The Stop Service Req was received.");
    return 1;
  }
  int w = Qvad_WaitForPipe(pipe, kPipeWaitMs, &err);
  if (w == -1) {
    OvTraceErrorF(err.source, err.line,
                  "A pipe was not able to acquire data. LocalErrorCode : (%d)  SystemErrorCode : (%d)",
                  static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    return 0;
  }
  if (w == 1) {
    // A quiet pipe: say so now and then, unless the service is stopping
    // and the manager already shows that.
    if (Qvad_IsStopRequested(0) != 1) OvStatusReport();
    Qvad_ReportHeldBack(false);
    return -1;
  }
  if (!Qvad_ReadPipe(pipe, &err)) {
    OV_ERROR("I failed in reading of data from a pipe. LocalErrorCode : (%d)  SystemErrorCode : (%d)",
             static_cast<int>(err.local_code), static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_PIPE_READ_FAILED, nullptr);
    return 0;
  }
  OV_INFO("It succeeded in the Reading Data from the Pipe.");

  RunState *s = context->state;
  OvCutBlock(
      &s->carry, pipe->buffer, pipe->transferred, s->line,
      [](const char *, void *c) {
        auto *lc = static_cast<LoopContext *>(c);
        ProcessLine(lc->state, lc->razevt, lc->evtkeep);
      },
      context);
  if (s->stopping) return 1;
  OvStatusReport();
  Qvad_ReportHeldBack(false);
  return -1;
}

}  // namespace

int OvGetParameter(const char *razevt_path, const char *evtkeep_path, QVAD_PIPE *pipe, const char *stoptime_path) {
  auto state = std::make_unique<RunState>();
  RunState *s = state.get();
  std::memset(s->carry.text, 0, sizeof s->carry.text);
  OvStateWriteReset();
  LoadProgress(s, evtkeep_path, stoptime_path);
  s->dup.run_index = 0;
  OvCarryClear(&s->carry);
  OvStatusReset();
  OvStatusReport();
  LoopContext context{s, razevt_path, evtkeep_path};
  for (;;) {
    int r = LoopPass(pipe, &context);
    if (r >= 0) return r;
  }
}
