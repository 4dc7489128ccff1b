// Reading and writing the state files. Every write replaces the file as a
// whole through a temporary file and a rename, so a crash, a full disk or a
// failed write never leaves an empty or partial file: a reader sees the old
// content or the new one. A half-written EvtKeep.txt or EvtCount.txt would
// make a restarted service forward events again or skip new ones.
#include "hp_ov/ov_evt/ovstate.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadnumber.h"
#include "hp_ov/ov_evt/ovparse.h"
#include "hp_ov/ov_evt/ovtrace.h"
#include "platform/error.h"
#include "platform/eventlog.h"
#include "platform/sys.h"

namespace {

// The first line of a file, at most max characters, without its LF; a CR is
// kept, since an event line can end in one. 0 read, 2 empty, 3 failed.
int ReadFirstLine(std::FILE *f, char *out, int max) {
  int n = 0, c = 0;
  while (n < max && (c = std::fgetc(f)) != EOF && c != '\n') out[n++] = static_cast<char>(c);
  out[n] = '\0';
  if (n == 0 && c == EOF) return std::ferror(f) ? 3 : 2;
  return 0;
}

// Reads the first line of a small number file: 1, or 0 when it cannot be read.
int ReadNumberFile(const char *path, std::int32_t *value, bool *opened) {
  std::FILE *f = std::fopen(path, "rb");
  *opened = f != nullptr;
  if (f == nullptr) return 0;
  char text[16];
  int r = ReadFirstLine(f, text, 15);
  std::fclose(f);
  if (r != 0) return 0;
  *value = Qvad_LeadingInt32(text);
  return 1;
}

std::uint32_t g_write_error = 0;
bool g_write_failing = false;
std::string g_write_failed_what;

bool Replace(const char *path, const char *text) {
  std::uint32_t rc = plat::ReplaceFileAtomically(path, text, std::strlen(text), true);
  if (rc != 0) g_write_error = rc;
  return rc == 0;
}

}  // namespace

std::uint32_t OvGetInstallDir(char *buffer, std::uint32_t size) {
  // The program file does not move while it runs; every state write asks,
  // so read its name once.
  static const std::string program = plat::ModulePath();
  std::string module = program;
  if (module.empty()) return plat::LastError() != 0 ? plat::LastError() : plat::kErrFileNotFound;
  if (module.size() > 260) return plat::kErrInvalidParameter;
  for (int i = 0; i < 2; ++i) {
    std::size_t cut = module.find_last_of(plat::kSep[0]);
    if (cut == std::string::npos) return plat::kErrInvalidParameter;
    module.resize(cut);
  }
  if (buffer == nullptr || module.size() >= size) return plat::kErrInvalidParameter;
  std::memcpy(buffer, module.c_str(), module.size() + 1);
  return 0;
}

bool OvEtcPath(const char *install_dir, const char *name, char *path) {
  int n = std::snprintf(path, 260, "%s%s%s", install_dir, plat::kEtcPiece, name);
  if (n < 0 || n >= 260) {
    path[0] = '\0';
    return false;
  }
  return true;
}

std::int32_t OvMinutesSince(std::int64_t then, std::int64_t now) {
  std::int64_t d = now - then;
  std::int64_t m = d / 60 + (d % 60 != 0 ? 1 : 0);
  return static_cast<std::int32_t>(m);
}

std::int32_t OvLookBackMinutes(std::int64_t reference, std::int64_t now) {
  if (reference == 0) return 0;
  std::int32_t m = OvMinutesSince(reference - kOvLookBackMarginSeconds, now);
  return m < 1 ? 1 : m;
}

bool OvTimeAhead(std::int64_t time, std::int64_t now) { return time > now + kOvClockToleranceSeconds; }

void OvTellClockAhead(const char *what, std::int64_t time, std::int64_t now) {
  char t[24], n[24], tol[24];
  std::snprintf(t, sizeof t, "%lld", static_cast<long long>(time));
  std::snprintf(n, sizeof n, "%lld", static_cast<long long>(now));
  std::snprintf(tol, sizeof tol, "%lld", static_cast<long long>(kOvClockToleranceSeconds));
  OV_ERROR("%s has the time %s, ahead of the clock (%s); it is not taken as the last handled time.", what, t, n);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_TIME_AHEAD, what, t, n, tol, nullptr);
  char note[512];
  std::snprintf(note, sizeof note,
                "qvadovevt: %.300s has the time %s, ahead of this computer's clock (%s) by more than %s s; "
                "not taken as the last handled time. Check the clock.",
                what, t, n, tol);
  plat::NoteForOperator(note);
}

OvDupVerdict OvDuplicateRule(OV_DUP_STATE *state, std::int32_t event_time) {
  if (event_time < state->last_time) return OvDupVerdict::Earlier;
  if (event_time == state->last_time) {
    // Handled before the restart and recorded then when still within the
    // stored count; counted either way, so the next one of the second is
    // judged by its place.
    bool handled = state->stored_count > state->run_index;
    ++state->run_index;
    return handled ? OvDupVerdict::Handled : OvDupVerdict::New;
  }
  state->last_time = event_time;
  state->stored_count = 0;
  state->run_index = 1;
  return OvDupVerdict::New;
}

void OvStateWriteOutcome(bool ok, const char *what) {
  if (ok == !g_write_failing) return;
  g_write_failing = !ok;
  char code[16];
  std::snprintf(code, sizeof code, "%u", static_cast<unsigned>(g_write_error));
  char note[512];
  if (!ok) {
    g_write_failed_what = what != nullptr ? what : "";
    OV_ERROR("Progress could not be recorded in %s (system error %s); reported once until it works again.",
             g_write_failed_what.c_str(), code);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_STATE_WRITE_FAILED, g_write_failed_what.c_str(),
                     code, nullptr);
    std::snprintf(note, sizeof note,
                  "qvadovevt: progress could not be recorded in %.300s (system error %s); events are still "
                  "forwarded, a restart will forward those since the last recorded one again",
                  g_write_failed_what.c_str(), code);
  } else {
    OV_INFO("Progress is recorded in %s again.", g_write_failed_what.c_str());
    Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, QVAD_MSG_STATE_RECORDED_AGAIN,
                     g_write_failed_what.c_str(), nullptr);
    std::snprintf(note, sizeof note, "qvadovevt: progress is recorded in %.300s again", g_write_failed_what.c_str());
  }
  plat::NoteForOperator(note);
}

std::uint32_t OvLastStateWriteError() { return g_write_error; }

void OvStateWriteReset() {
  g_write_failing = false;
  g_write_error = 0;
  g_write_failed_what.clear();
}

int OvCountRead(std::int32_t *count) {
  *count = 0;
  char dir[260] = {}, path[260] = {};
  if (OvGetInstallDir(dir, sizeof dir) != 0) {
    OV_ERROR("I failed in the acquisition of a pass.");
    return 0;
  }
  bool opened = false;
  std::int32_t value = 0;
  int ok = OvEtcPath(dir, kOvEvtCount, path) ? ReadNumberFile(path, &value, &opened) : 0;
  if (!opened) {
    OV_ERROR("It failed in the opening of EvtCount.txt.");
    return 0;
  }
  if (!ok) {
    OV_ERROR("The Retrieved of the content of EvtCount.txt cannot have been done.");
    return 0;
  }
  if (value < 0 || value > kOvCountLimit) {
    // Not a count this service wrote: a damaged file, like an unreadable one.
    OV_ERROR("The Retrieved of the content of EvtCount.txt cannot have been done.");
    OV_ERROR("EvtCount.txt holds %d, which no second can hold; the file is damaged.", static_cast<int>(value));
    return 0;
  }
  OV_INFO("The Count Quantity was acquired from EvtCount.txt.");
  *count = value;
  return 1;
}

int OvCountWrite(std::int32_t count) {
  char dir[260] = {}, path[260] = {};
  if (OvGetInstallDir(dir, sizeof dir) != 0) {
    OV_ERROR("I failed in the acquisition of a pass.");
    return 0;
  }
  if (!OvEtcPath(dir, kOvEvtCount, path)) {
    OV_ERROR("It failed in the opening of EvtCount.txt.");
    return 0;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(count));
  if (!Replace(path, text)) {
    OV_ERROR("The Count Quantity was not able to be recorded in EvtCount.txt.");
    return 0;
  }
  OV_INFO("The Count Quantity was recorded in EvtCount.txt.");
  return 1;
}

int OvStopTime() {
  std::time_t now = std::time(nullptr);
  char dir[260] = {}, path[260] = {};
  std::uint32_t rc = OvGetInstallDir(dir, sizeof dir);
  if (rc != 0) {
    OV_ERROR("It failed in the Retrieved of Not Running The Time recorder file Path. : (%d)", static_cast<int>(rc));
    return 0;
  }
  if (!OvEtcPath(dir, kOvStopTime, path)) {
    OV_ERROR("It failed in the opening of The Stop Time FILE.");
    return 0;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(now));
  if (!Replace(path, text)) {
    OV_ERROR("It failed in writing the stop time. : (%d)", -1);
    return 0;
  }
  return 1;
}

int OvGetStopTimeOnly(const char *path, std::int32_t *time) {
  *time = 0;
  std::FILE *f = std::fopen(path, "rb");
  if (f == nullptr) {
    OV_ERROR("It failed in reading Not Running The Time.");
    return 0;
  }
  OV_INFO("It succeeded in reading Not Running The Time.");
  char text[16];
  int r = ReadFirstLine(f, text, 15);
  std::fclose(f);
  if (r != 0) {
    OV_ERROR("It failed in The Value Retrieved of StopTime.txt.");
    return 0;
  }
  *time = Qvad_LeadingInt32(text);
  return 1;
}

int OvGetStopTime(const char *path, std::int32_t *minutes) {
  *minutes = 0;
  std::int32_t then = 0;
  if (!OvGetStopTimeOnly(path, &then)) return 0;
  *minutes = OvMinutesSince(then, static_cast<std::int64_t>(std::time(nullptr)));
  return 1;
}

int OvReadLogFile(const char *path, char *text) {
  text[0] = '\0';
  std::FILE *f = std::fopen(path, "rb");
  if (f == nullptr) return 1;
  int r = ReadFirstLine(f, text, kOvLineSize - 1);
  std::fclose(f);
  return r;
}

int OvGetLogCheck(const char *path, char *text) {
  int r = OvReadLogFile(path, text);
  switch (r) {
    case 0: return 1;
    case 1: OV_ERROR("I was not able to open LogFile. : (%d)", r); break;
    case 2: OV_ERROR("I was not able to perform reading of LogFile till the last. : (%d)", r); break;
    default: OV_ERROR("I failed in the contents acquisition of LogFile. : (%d)", r); break;
  }
  return 0;
}

int OvLogSaveFile(const char *text, const char *path) {
  std::uint32_t rc = plat::ReplaceFileAtomically(path, text, std::strlen(text), true);
  if (rc == 0) return 1;
  g_write_error = rc;
  // The replacement could not create its file at all, or could not finish it.
  if (rc == plat::kErrFileNotFound || rc == plat::kErrPathNotFound || rc == plat::kErrAccessDenied) {
    OV_ERROR("I failed in opening of a file. : (%d)", 0);
  } else {
    OV_ERROR("I failed in a note of an event. : (%d)", -1);
  }
  return 0;
}

int OvGetDifTime(const char *text, std::int32_t *minutes) {
  std::int32_t then = 0;
  int rc = OvGetEventTime(text, &then);
  if (rc != 0) {
    OV_ERROR("Time acquisition failure between adapter stops. : (%d)", rc);
    return 0;
  }
  *minutes = OvMinutesSince(then, static_cast<std::int64_t>(std::time(nullptr)));
  return 1;
}
