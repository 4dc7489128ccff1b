// Running the data warehouse's query tool. One tool process per query;
// each is waited for until it ends or its time is up, and judged by its
// exit code and by the result file it leaves.
#include "hp_ov/qvademinv/qvadovquery.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadhold.h"
#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadnumber.h"
#include "cmn/qvadproc/qvadproc.h"
#include "cmn/qvadprofile.h"
#include "platform/error.h"
#include "platform/event.h"
#include "platform/process.h"
#include "platform/sys.h"

std::string Qvad_InvDirPiece(const char *name) { return std::string(plat::kSep) + name + plat::kSep; }

std::string Qvad_InvHardDir(const char *install_dir) {
  return std::string(install_dir) + Qvad_InvDirPiece("tmp") + "hard" + plat::kSep;
}

int Qvad_InvOvQueryFileMake(const char *text, const char *path) {
  QvadFile f(std::fopen(path, "w"));
  if (!f) {
    QVAD_INV_ERR(1, "(Error)fopen : FILE = %s", path);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_WORK_FILE_FAILED, nullptr);
    return -3;
  }
  if (std::fputs(text, f.get()) < 0 || std::fflush(f.get()) != 0) {
    int e = errno;
    QVAD_INV_ERR(1, "(Error)fputs : Data = %s ErrNo = %d", text, e);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_WORK_FILE_FAILED, nullptr);
    return -4;
  }
  return 0;
}

int Qvad_InvOvInstDirGet(char *buffer, std::uint32_t size) {
  std::memset(buffer, 0, size);
  if (QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue, buffer, size - 1) != 0) {
    QVAD_INV_ERR(1, "(Error)QvadGetRegistryData : File = %s", buffer);
    return -5;
  }
  std::string tool = std::string("bin") + plat::kSep + "ovdwquery" + plat::kExeSuffix;
  std::size_t have = std::strlen(buffer);
  if (have + tool.size() >= size) {
    QVAD_INV_ERR(1, "(Error)QvadGetRegistryData : File = %s", buffer);
    return -5;
  }
  std::memcpy(buffer + have, tool.c_str(), tool.size() + 1);
  return 0;
}

namespace {

// The first time-out of a run has been reported to the event log.
std::atomic<bool> g_timeout_told{false};
// The run's folder of failed queries (empty until the first one); workers
// of one run may fail at once.
std::mutex g_failed_mutex;
std::string g_failed_dir;

// Waits for the tool to end: 1 with its exit code, 0 when that cannot be
// had, -1 when a cancel ended it first, -2 when it ran past the time-out
// and was ended.
int AwaitTool(const QvadQuerySite &site, plat::ProcessHandle process, std::uint32_t *code) {
  // Waits end the moment the tool exits; the step is only the time-out of one wait.
  const std::int64_t step = site.cancel != nullptr ? 50 : 500;
  const std::int64_t deadline = site.timeout_s == 0 ? -1 : plat::MonotonicMillis() + site.timeout_s * 1000LL;
  int w;
  for (;;) {
    std::int64_t wait = step;
    if (deadline >= 0) wait = std::max<std::int64_t>(0, std::min(step, deadline - plat::MonotonicMillis()));
    w = plat::WaitProcess(process, static_cast<std::uint32_t>(wait));
    if (w != 1) break;
    if (site.cancel != nullptr && site.cancel->load()) {
      plat::TerminateProcess(process, 1);
      plat::WaitProcess(process, plat::kInfinite);
      return -1;
    }
    if (deadline >= 0 && plat::MonotonicMillis() >= deadline) {
      // Ended with what it started, so nothing of it writes on.
      plat::TerminateProcess(process, 1);
      plat::WaitProcess(process, plat::kInfinite);
      return -2;
    }
  }
  return w == 0 && plat::ProcessExitCode(process, code) ? 1 : 0;
}

}  // namespace

int Qvad_InvOvQueryCmd(const QvadQuerySite &site, const char *query_path, const char *result_path) {
  std::remove(result_path);
  if (site.cancel != nullptr && site.cancel->load()) return -3;
  if (site.tool == nullptr || site.tool[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)QvadGetRegistryData : File = %s", "");
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "Qvad_InvOvQueryCmd", nullptr);
    return -1;
  }
  // The caller, which knows the node and the key, keeps the evidence and
  // reports it (Qvad_InvOvKeepFailedQuery).
  auto fail = [] { return -2; };
  char command[1024] = {};
  int n = std::snprintf(command, sizeof command, "%s -c -file \"%s\" -out \"%s\"",
                        (std::string("ovdwquery") + plat::kExeSuffix).c_str(), query_path, result_path);
  if (n < 0 || n >= static_cast<int>(sizeof command)) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : command line too long (%d) for %s", n, query_path);
    return fail();
  }
  QvadFile out(std::fopen(site.stdout_path.c_str(), "wb"));
  if (!out) {
    QVAD_INV_ERR(1, "(Error)CreateFile : FileName = %s ErrNo = %d", site.stdout_path.c_str(),
                 static_cast<int>(plat::ErrorFromErrno(errno)));
    return fail();
  }
  plat::FileHandle h = plat::FileHandleOf(out.get());
  QVAD_STARTUPINFO si{};
  si.use_std_handles = true;
  si.std_in = plat::kInvalidFile;
  si.std_out = h;
  si.std_err = h;
  si.job = site.job;
  QVAD_PROCESS_INFORMATION pi{};
  QVAD_ERROR_TBL err{};
  if (Qvad_CreateProcess(site.tool, command, nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &pi, &err) != 1) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    return fail();
  }
  std::uint32_t code = 0;
  int got = AwaitTool(site, pi.process, &code);
  plat::CloseProcess(pi.process);
  out.reset();
  // A run being closed is no failure of the warehouse: nothing to report.
  if (got == -1) return -3;
  if (got == -2) return kQvadQueryTimedOut;
  if (got == 0) {
    QVAD_INV_ERR(1, "(Error)GetExitCodeProcess : bRet = %d", 0);
    return fail();
  }
  if (code != 0) {
    QVAD_INV_ERR(1, "(Error)ovdwquery process: dwRet = %d", static_cast<int>(code));
    return fail();
  }
  if (!plat::FileExists(result_path)) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : No DB execution result file. Name = %s", result_path);
    return fail();
  }
  return 0;
}

void Qvad_InvOvTimeoutNewRun() {
  g_timeout_told.store(false);
  std::lock_guard<std::mutex> hold(g_failed_mutex);
  g_failed_dir.clear();
}

namespace {

// A node name or key as a piece of a file name: anything but letters,
// digits, '.', '-' and '_' becomes '_'.
std::string FilePiece(const char *text) {
  std::string out;
  for (const char *p = text; *p != '\0' && out.size() < 64; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    out += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
  }
  if (out.empty() || out == "." || out == "..") out = "_";
  return out;
}

bool CopyFileBytes(const std::string &from, const std::string &to) {
  QvadFile in(std::fopen(from.c_str(), "rb"));
  QvadFile out(std::fopen(to.c_str(), "wb"));
  if (!out) return false;
  if (!in) return true;  // nothing there: an empty copy says so
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) {
    if (std::fwrite(buf, 1, n, out.get()) != n) return false;
  }
  return std::fflush(out.get()) == 0;
}

// This run's folder under var/failed, made at its first failed query; the
// oldest run folders beyond the last kQvadFailedRunsKept go. Called with
// g_failed_mutex held.
std::string FailedRunDir(const char *install) {
  if (!g_failed_dir.empty()) return g_failed_dir;
  std::string failed = std::string(install) + plat::kSep + "var" + plat::kSep + "failed";
  plat::MakeDirectory(failed.c_str());
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (const std::tm *local = std::localtime(&now)) tm = *local;
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-%u", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<unsigned>(plat::ProcessId()));
  std::string dir = failed + plat::kSep + stamp;
  if (!plat::MakeDirectory(dir.c_str())) return {};
  // Names sort by time: keep the newest, this one among them.
  std::vector<std::string> runs;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(failed, ec)) runs.push_back(e.path().filename().string());
  std::sort(runs.begin(), runs.end());
  for (std::size_t i = 0; i + kQvadFailedRunsKept < runs.size(); ++i) {
    std::string old = failed + plat::kSep + runs[i];
    if (old != dir) plat::RemoveFolder(old.c_str());
  }
  g_failed_dir = dir;
  return dir;
}

}  // namespace

std::string Qvad_InvOvKeepFailedQuery(const QvadQuerySite &site, const char *node, const char *key,
                                      const char *query_path) {
  const char *install = Qvad_InvContext()->InstallDir;
  std::string dir;
  {
    std::lock_guard<std::mutex> hold(g_failed_mutex);
    dir = FailedRunDir(install);
  }
  // The node list's query names no node ("-"): its files are NodeInfo.*.
  std::string name = std::strcmp(node, "-") == 0 ? FilePiece(key) : FilePiece(node) + "-" + FilePiece(key);
  std::string base = dir + plat::kSep + name;
  bool kept =
      !dir.empty() && CopyFileBytes(query_path, base + ".query") && CopyFileBytes(site.stdout_path, base + ".out");
  const char *where = kept ? dir.c_str() : "(not kept: var/failed cannot be written)";
  QVAD_INV_ERR(1, "(Error)ovdwquery failed : Node = %s Key = %s : query and output kept in %s", node, key, where);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_QUERY_FAILED, node, key, where, nullptr);
  return kept ? dir : std::string();
}

void Qvad_InvOvTellTimeout(const QvadQuerySite &site, const char *node, const char *key) {
  QVAD_INV_ERR(1, "(Error)ovdwquery timed out : Node = %s Key = %s QueryTimeout = %u s", node, key,
               static_cast<unsigned>(site.timeout_s));
  if (g_timeout_told.exchange(true)) return;
  char seconds[16];
  std::snprintf(seconds, sizeof seconds, "%u", static_cast<unsigned>(site.timeout_s));
  Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_QUERY_TIMED_OUT, node, key, seconds, nullptr);
}

int Qvad_InvOvQueryTblExec(const QvadQuerySite &site, const char *node, const QueryTableEntry *table) {
  for (const QueryTableEntry *e = table; e != nullptr; e = e->next) {
    char query[1024];
    if (!Qvad_FormatQuery(e->query, node, query, sizeof query)) {
      QVAD_INV_ERR(1, "(Error)Query template refused : Key = %s Node = %s", e->key, node);
      return -1;
    }
    std::string txt = site.dir + e->key + ".txt";
    std::string csv = site.dir + e->key + ".csv";
    if (txt.size() >= 260 || csv.size() >= 260) return -1;
    if (Qvad_InvOvQueryFileMake(query, txt.c_str()) != 0) return -1;
    int r = Qvad_InvOvQueryCmd(site, txt.c_str(), csv.c_str());
    if (r == kQvadQueryTimedOut) Qvad_InvOvTellTimeout(site, node, e->key);
    if (r == -2 || r == kQvadQueryTimedOut) Qvad_InvOvKeepFailedQuery(site, node, e->key, txt.c_str());
    if (r != 0) return -1;
    std::remove(txt.c_str());
  }
  return 0;
}

namespace {

// The count on the first line of the interface query's result, or -1.
int ReadInterfaceCount(const std::string &csv) {
  QvadFile f(std::fopen(csv.c_str(), "r"));
  if (!f) {
    QVAD_INV_ERR(1, "(Error)fopen : FILE = %s", csv.c_str());
    return -1;
  }
  char line[1024] = {};
  errno = 0;
  if (std::fgets(line, sizeof line, f.get()) != nullptr) return Qvad_LeadingInt32(line);
  // Say what happened: an empty result is no read error, and errno holds
  // whatever an earlier call left there.
  if (std::ferror(f.get())) {
    QVAD_INV_ERR(1, "(Error)fgets : ErrNo = %d.", errno);
  } else {
    QVAD_INV_ERR(1, "(Error)fgets : No interface count, the result is empty : FILE = %s", csv.c_str());
  }
  return -1;
}

}  // namespace

int Qvad_InvOvInterface(const QvadQuerySite &site, const char *templ, const char *node) {
  if (templ == nullptr || templ[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvInterface - GetPrivateProfileString : Sec = %s Key = %s Path = %s.", "Interface",
                 "1", Qvad_InvContext()->RazInvPath);
    return -1;
  }
  char query[1024];
  if (!Qvad_FormatQuery(templ, node, query, sizeof query)) {
    QVAD_INV_ERR(1, "(Error)Query template refused : Key = %s Node = %s", "Interface 1", node);
    return -1;
  }
  QVAD_INV_INFO(3, "(Info)QueryInterfaceTable : szQuery = %s", query);
  std::string txt = site.dir + "Interface.txt";
  std::string csv = site.dir + "Interface.csv";
  if (txt.size() >= 260) return -1;
  if (Qvad_InvOvQueryFileMake(query, txt.c_str()) != 0) return -1;
  int r = Qvad_InvOvQueryCmd(site, txt.c_str(), csv.c_str());
  if (r == -2 || r == kQvadQueryTimedOut) Qvad_InvOvKeepFailedQuery(site, node, "Interface", txt.c_str());
  if (r != 0) {
    std::remove(txt.c_str());
    if (r != kQvadQueryTimedOut) return -1;
    Qvad_InvOvTellTimeout(site, node, "Interface");
    return kQvadQueryTimedOut;
  }
  int count = ReadInterfaceCount(csv);
  std::remove(txt.c_str());
  std::remove(csv.c_str());
  return count;
}
