// The engine's entry points: Init prepares a run (mutex, definition tables,
// node lists, query table, the own node), File produces one node per call,
// Close releases everything. One run per process at a time; the host calls
// from one thread, and with QueryWorkers above 1 worker threads run the
// next nodes' queries ahead of File.
#include "hp_ov/qvademinv/qvademinv.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvadcollect.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadnodelist.h"
#include "cmn/qvadmiscinv/qvadquerytbl.h"
#include "cmn/qvadmiscinv/qvadsettings.h"
#include "cmn/qvadmiscrep/qvadmiscrep.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "hp_ov/qvademinv/qvadahead.h"
#include "hp_ov/qvademinv/qvadmutex.h"
#include "hp_ov/qvademinv/qvadovcollect.h"
#include "hp_ov/qvademinv/qvadovnodes.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/error.h"
#include "platform/event.h"
#include "platform/job.h"
#include "platform/mutex.h"
#include "platform/sys.h"

namespace {

InvRunContext &Ctx() { return *Qvad_InvContext(); }

// The returned value travels in the entry's code field, as in every END entry.
#define INV_TRACE_END(value) QVAD_TRACE_CODE(&Ctx().InfoTrace, 0, static_cast<int>(value), "END")

bool Compose(char *out, const char *dir, const std::string &sub, const char *file) {
  int n = std::snprintf(out, 260, "%s%s%s", dir, sub.c_str(), file);
  return n >= 0 && n < 260;
}

std::string HardDir() { return Qvad_InvHardDir(Ctx().InstallDir); }

void FreeAll() {
  InvRunContext &c = Ctx();
  std::free(c.HwDef);
  std::free(c.RepoDef);
  std::free(c.TextDef);
  std::free(c.MachineDef);
  c.HwDef = c.RepoDef = c.TextDef = nullptr;
  c.MachineDef = nullptr;
  c.HwCount = c.RepoCount = c.TextCount = c.MachineCount = 0;
  Qvad_FreeNodeList(c.NodeList);
  Qvad_FreeNodeList(c.RemovedNodeList);
  Qvad_FreeQueryTbl(c.QueryTable);
  c.NodeList = c.NodeCursor = c.RemovedNodeList = c.RemovedCursor = nullptr;
  c.QueryTable = nullptr;
}

// Ends the queries running ahead and removes their folders; the node lists
// they point into are still there.
void StopAhead(std::uint32_t wait_ms = plat::kInfinite) {
  InvRunContext &c = Ctx();
  if (c.Ahead == nullptr) return;
  c.Ahead->Stop(wait_ms);
  delete c.Ahead;
  c.Ahead = nullptr;
}

// A host that ends without Close, or unloads the engine without it: the
// workers are stopped before the code they run goes away, waiting a bounded
// time, as the loader may hold a lock they need to end. (On Win32 a worker
// keeps the engine loaded until it ends, so there this comes only at the
// process's end, when its threads are gone; a later Init of the same
// engine stops them.)
// The run's job goes last: whatever of the run still runs ends with it.
struct AheadAtExit {
  ~AheadAtExit() {
    StopAhead(2000);
    plat::CloseJob(Ctx().Job);
    Ctx().Job = nullptr;
  }
} g_ahead_at_exit;

// Ends the run's child processes that are still running (none, normally:
// every query and delivery is waited for) and closes its job.
void CloseRunJob() {
  plat::CloseJob(Ctx().Job);
  Ctx().Job = nullptr;
}

void ReleaseMutex() {
  InvRunContext &c = Ctx();
  if (c.Mutex != nullptr) {
    plat::ReleaseRunMutex(c.Mutex);
    plat::CloseRunMutex(c.Mutex);
  }
  c.Mutex = nullptr;
}

// The clean-up of a failing Init after the mutex was taken.
std::int32_t FailInit(std::int32_t value) {
  StopAhead();
  CloseRunJob();
  if (Ctx().NewNodeCsvPath[0] != '\0') std::remove(Ctx().NewNodeCsvPath);
  FreeAll();
  ReleaseMutex();
  INV_TRACE_END(value);
  Qvad_TraceClose(&Ctx().ErrTrace, 0);
  Qvad_TraceClose(&Ctx().InfoTrace, 0);
  return value;
}

// The end of a good Init: this run's node list becomes node.csv and the
// previous one node.bak.
std::int32_t SucceedInit() {
  InvRunContext &c = Ctx();
  char backup[260];
  QVAD_ERROR_TBL err;
  if (!Compose(backup, c.InstallDir, Qvad_InvDirPiece("var"), "node.bak")) {
    QVAD_INV_ERR(1, "(Error)Node list backup path too long : InstallDir = %s", c.InstallDir);
  } else if (Qvad_CreateNodeBak(c.NodeCsvPath, backup, &err) != 1) {
    QVAD_INV_ERR(3, "(Warning)Qvad_CreateNodeBak : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
  }
  // A previous list that could not become the backup stays the reference
  // of the next run rather than being lost.
  if (plat::FileExists(c.NodeCsvPath)) {
    QVAD_INV_ERR(1, "(Error)Node list kept : FileName = %s", c.NodeCsvPath);
    std::remove(c.NewNodeCsvPath);
  } else if (std::rename(c.NewNodeCsvPath, c.NodeCsvPath) != 0) {
    QVAD_INV_ERR(1, "(Error)rename : FileName = %s ErrNo = %d", c.NewNodeCsvPath, errno);
  }
  c.NewNodeCsvPath[0] = '\0';
  INV_TRACE_END(0);
  return 0;
}

void ReportError(const char *what) {
  Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, what, nullptr);
}

void TraceError(const char *what, const QVAD_ERROR_TBL &err) {
  QVAD_INV_ERR(1, "(Error)%s : %s | %d | %d | %d", what, err.source, err.line, err.local_code,
               static_cast<int>(err.system_code));
}

// Copies a text into a zeroed field of the host's record: only the text and
// its NUL, so whatever followed the NUL in the node list (a stripped quote,
// an older name) never reaches the host.
void CopyText(char *field, std::size_t size, const char *text) {
  std::size_t n = strnlen(text, size - 1);
  std::memcpy(field, text, n);
  field[n] = '\0';
}

// The stem of the previous result file: after the last separator, before the last dot.
std::string LastStem() {
  std::string p = Ctx().LastResultPath;
  std::size_t cut = p.find_last_of(plat::kSep[0]);
  if (cut != std::string::npos) p.erase(0, cut + 1);
  std::size_t dot = p.find_last_of('.');
  if (dot != std::string::npos) p.erase(dot);
  return p;
}

// Where the queries run when they run one after another: tmp/hard itself.
QvadQuerySite SequentialSite(const InvRunContext &c) {
  QvadQuerySite site{c.QueryToolPath, HardDir(), c.QueryOutPath, nullptr};
  site.timeout_s = static_cast<std::uint32_t>(c.QueryTimeout);
  site.job = c.Job;
  return site;
}

// ---- Init, step by step ----

// Takes the run mutex, waiting for another host's run: 0, or -10 with the
// traces closed.
std::int32_t TakeRunMutex(InvRunContext &c) {
  QVAD_ERROR_TBL err;
  Qvad_ResetError(&err);
  const char *failed = nullptr;
  int m = Qvad_CreateMutex(&c.Mutex, &err);
  if (m == -1) {
    failed = "Qvad_CreateMutex";
    QVAD_INV_ERR(3, "Qvad_EmInvInit Qvad_CreateMutex(Error) (%d %d %d).", err.line, err.local_code,
                 static_cast<int>(err.system_code));
  } else if (m == 5) {
    QVAD_INV_INFO(3, "Qvad_EmInvInit Wait Mutex.");
    int w;
    while ((w = Qvad_WaitForMutex(c.Mutex, 500, &err)) == 7) {
    }
    if (w != 6) {
      failed = "Qvad_WaitForMutex";
      QVAD_INV_ERR(3, "Qvad_EmInvInit Error in %s (%d %d %d).", failed, err.line, err.local_code,
                   static_cast<int>(err.system_code));
      plat::CloseRunMutex(c.Mutex);
    } else {
      QVAD_INV_INFO(3, "Qvad_EmInvInit Get Mutex.");
    }
  }
  if (failed == nullptr) return 0;
  ReportError(failed);
  c.Mutex = nullptr;
  INV_TRACE_END(-10);
  Qvad_TraceClose(&c.ErrTrace, 0);
  Qvad_TraceClose(&c.InfoTrace, 0);
  return -10;
}

// The install folder and every path of the run, each of which must fit its
// 260-byte field or files would land elsewhere: true, or false after the
// trace and the report.
bool ComposePaths(InvRunContext &c) {
  std::int32_t r = QvadGetInstallPathForDll(c.InstallDir, sizeof c.InstallDir);
  if (r == 0 && !(Compose(c.RazInvPath, c.InstallDir, plat::kEtcPiece, "RazInv.ini") &&
                  Compose(c.RazSettingPath, c.InstallDir, plat::kEtcPiece, "RazSetting.ini") &&
                  Compose(c.RepositoryCsvPath, c.InstallDir, Qvad_InvDirPiece("ret"), "Repository.csv") &&
                  Compose(c.NodeCsvPath, c.InstallDir, Qvad_InvDirPiece("var"), "node.csv") &&
                  Compose(c.NewNodeCsvPath, c.InstallDir, Qvad_InvDirPiece("var"), "node.new") &&
                  Compose(c.RepInfoPath, c.InstallDir, plat::kEtcPiece, "RepInfo.ini") &&
                  Compose(c.QueryOutPath, c.InstallDir, Qvad_InvHardDir(""), "ovdwquery.txt"))) {
    r = kQvadPathTooLong;
  }
  if (r != 0) {
    // Nothing of this run may be removed at the clean-up.
    c.NewNodeCsvPath[0] = '\0';
    QVAD_INV_ERR(1, "(Error)QvadGetInstallPathForDll : Ret = %d", static_cast<int>(r));
    ReportError("QvadGetInstallPathForDll");
    return false;
  }
  return true;
}

// The repository method of RepInfo.ini and the definition tables: true, or
// false after the trace and the report.
bool LoadDefinitions(InvRunContext &c) {
  int type = static_cast<int>(QvadGetPrivateProfileInt("General", "Type", -1, c.RepInfoPath));
  if (type == -1) {
    QVAD_INV_ERR(1, "(Error)Repository Method (Data Non) : %x", static_cast<unsigned>(type));
    ReportError("QVAD_REP_TYPE_INVALID NON");
    return false;
  }
  if (type < 0 || type > 2) {
    QVAD_INV_ERR(1, "(Error)Repository Method (No Match) : %d", type);
    ReportError("QVAD_REP_TYPE_INVALID ERROR");
    return false;
  }
  if (Qvad_InvOvIniAnalysis(&c, kInvKindRepository + type, type) != 1) return false;
  // The field editor's language switch is read once per run, not per cell.
  Qvad_InvReadLanguage();
  return true;
}

// What every node of the run uses, read once: the query tool, the interface
// queries, the text switch and the number of query processes at a time.
void ReadRunSettings(InvRunContext &c) {
  if (Qvad_InvOvInstDirGet(c.QueryToolPath, sizeof c.QueryToolPath) != 0) c.QueryToolPath[0] = '\0';
  QvadGetPrivateProfileString("Interface", "1", "", c.InterfaceQuery, sizeof c.InterfaceQuery, c.RazInvPath);
  QvadGetPrivateProfileString("Interface", "2", "", c.InterfaceTable, sizeof c.InterfaceTable, c.RazInvPath);
  c.TextFlagRead = Qvad_GetTextFlag(c.RazInvPath, &c.TextFlag, &c.TextFlagError);
  QVAD_ERROR_TBL err;
  int workers = 1;
  if (Qvad_GetQueryWorkers(c.RazSettingPath, &workers, &err) != 1) {
    QVAD_INV_ERR(1,
                 "(Warning)Qvad_GetQueryWorkers : %s | %d | %d | %d : QueryWorkers must be 1 to %d, 1 set and continue",
                 err.source, err.line, err.local_code, static_cast<int>(err.system_code), kQvadMaxQueryWorkers);
    workers = 1;
  }
  c.QueryWorkers = workers;
  QVAD_INV_INFO(3, "(Info)QueryWorkers = %d", workers);
  int timeout = kQvadDefaultQueryTimeout;
  if (Qvad_GetQueryTimeout(c.RazSettingPath, &timeout, &err) != 1) {
    QVAD_INV_ERR(1,
                 "(Warning)Qvad_GetQueryTimeout : %s | %d | %d | %d : QueryTimeout must be 0 to %d seconds, %d set and "
                 "continue",
                 err.source, err.line, err.local_code, static_cast<int>(err.system_code), kQvadMaxQueryTimeout,
                 kQvadDefaultQueryTimeout);
    timeout = kQvadDefaultQueryTimeout;
  }
  c.QueryTimeout = timeout;
  QVAD_INV_INFO(3, "(Info)QueryTimeout = %d s", timeout);
}

// Before the run's first query: every child process an earlier run of this
// install left running is ended and waited for, so nothing writes into this
// run's files but its own queries; then the run's own job. True, or false
// after the trace and the report when one cannot be ended.
bool TakeOverChildren(InvRunContext &c) {
  std::string records = std::string(c.InstallDir) + plat::kSep + "var" + plat::kSep + "children";
  if (records.size() >= sizeof c.ChildRecordDir) {
    QVAD_INV_ERR(1, "(Error)Child record folder path too long : InstallDir = %s", c.InstallDir);
    ReportError("EndLeftoverProcesses");
    return false;
  }
  std::memcpy(c.ChildRecordDir, records.c_str(), records.size() + 1);
  int ended = 0;
  int left = plat::EndLeftoverProcesses(c.ChildRecordDir, 5000, &ended);
  if (ended > 0) {
    QVAD_INV_ERR(3, "(Warning)Processes of an earlier run ended : Count = %d Folder = %s", ended, c.ChildRecordDir);
  }
  if (left > 0) {
    QVAD_INV_ERR(1, "(Error)Processes of an earlier run do not end : Count = %d Folder = %s", left, c.ChildRecordDir);
    ReportError("EndLeftoverProcesses");
    return false;
  }
  c.Job = plat::CreateJob(c.ChildRecordDir);
  if (c.Job == nullptr) {
    QVAD_INV_ERR(1, "(Error)CreateJob : Folder = %s ErrNo = %u", c.ChildRecordDir,
                 static_cast<unsigned>(plat::LastError()));
    ReportError("CreateJob");
    return false;
  }
  return true;
}

// Fetches this run's node list beside the previous one (it replaces it
// only when Init succeeds: a failed query, an unreadable list or an
// abandoned Init leaves node.csv and node.bak as they were, so the nodes
// removed since the last good run are still reported by the next one),
// reads it, and the nodes removed since the previous list. True, or false
// after the trace and the report.
bool ReadNodeLists(InvRunContext &c) {
  QvadQuerySite site = SequentialSite(c);
  if (Qvad_InvOvNodeListMake(c, site, c.NewNodeCsvPath) != 0) return false;
  QVAD_ERROR_TBL err;
  if (Qvad_GetNodeInfoEx(&c.NodeList, c.NewNodeCsvPath, &err) != 1) {
    TraceError("Qvad_GetNodeInfo", err);
    ReportError("Qvad_GetNodeInfoEx");
    return false;
  }
  // The previous run's list is still node.csv; none on a first run.
  if (plat::FileExists(c.NodeCsvPath) && Qvad_GetRmNodeInfo(&c.RemovedNodeList, c.NodeCsvPath, c.NodeList, &err) != 1) {
    TraceError("Qvad_GetRmNodeInfo", err);
    c.RemovedNodeList = nullptr;
  }
  return true;
}

// Whether the list starts with this computer, which the network manager
// puts first when it monitors itself.
void FindOwnNodeFirst(InvRunContext &c, const char *host) {
  c.OwnNodeFirst = 1;
  if (c.NodeList == nullptr) {
    c.OwnNodeFirst = 0;
    QVAD_INV_INFO(1, "(Info) Number of Monitoring Target Node is Zero.");
    return;
  }
  char first[129] = {};
  Qvad_NodeShortName(c.NodeList->NodeName, first, sizeof first);
  if (std::strcmp(first, host) != 0) {
    c.OwnNodeFirst = 0;
    QVAD_INV_INFO(1, "(Info) Own Node(%s) is not Exist.", host);
  }
}

// This computer is inventoried now, for the repository only, and is not
// handed to File: its entries at the head of the list are passed over. A
// refused name gives no rows, as it would give no file. True, or false
// when its queries or rows failed.
bool CollectOwnNode(InvRunContext &c, const char *host) {
  const NodeEntry &own = *c.NodeList;
  if (const char *why = Qvad_InvNodeRefusal(own)) {
    QVAD_INV_ERR(1, "%s : Name = %s", why, own.NodeName);
  } else {
    QvadQuerySite site = SequentialSite(c);
    if (Qvad_InvOvQueryTblExec(site, own.NodeName, c.QueryTable) != 0) return false;
    int interfaces = Qvad_InvOvInterface(site, c.InterfaceQuery, own.NodeName);
    if (interfaces == kQvadQueryTimedOut) return false;
    QvadRepoMark mark = Qvad_InvRepoMark(c);
    if (Qvad_InvOvGetRepo(c, site.dir.c_str(), interfaces) != 0) {
      Qvad_InvRepoTakeBack(c, mark, own.NodeName);
      return false;
    }
    Qvad_InvRepoKeep(c);
  }
  c.NodeCursor = c.NodeList->next;
  while (c.NodeCursor != nullptr) {
    char short_name[129] = {};
    Qvad_NodeShortName(c.NodeCursor->NodeName, short_name, sizeof short_name);
    if (std::strcmp(short_name, host) != 0) break;
    c.NodeCursor = c.NodeCursor->next;
  }
  return true;
}

// With more than one query process at a time, the nodes File will reach
// start their queries now. Without threads the run goes on one query after
// another, as with one.
void StartAhead(InvRunContext &c) {
  if (c.QueryWorkers <= 1 || c.NodeCursor == nullptr) return;
  c.Ahead = new QvadQueryAhead(c, HardDir(), c.QueryWorkers, c.NodeCursor);
  if (!c.Ahead->Start()) {
    QVAD_INV_ERR(1, "(Warning)Queries run one after another : workers could not be started (%u)",
                 static_cast<unsigned>(plat::LastError()));
    delete c.Ahead;
    c.Ahead = nullptr;
  }
}

// What a run that ended without Close left in tmp/hard.
void RemoveLeftFolders() {
  std::string hard = HardDir();
  for (int i = 0; i < QvadQueryAhead::kMaxSlots; ++i) plat::RemoveFolder(QvadQueryAhead::SlotDir(hard, i).c_str());
}

// ---- File, step by step ----

// Consecutive entries of the node just given are the same node.
void SkipRepeatedNodes(InvRunContext &c) {
  std::string stem = LastStem();
  while (c.NodeCursor != nullptr && c.LastResultPath[0] != '\0' && stem == c.NodeCursor->NodeName) {
    QVAD_INV_INFO(1, "Same Node Skip: %s", c.NodeCursor->NodeName);
    c.NodeCursor = c.NodeCursor->next;
  }
}

// After the last node: the removed nodes one per call, then once the
// delivery of the repository file. 0 with a removed node, else 1.
std::int32_t AfterTheNodes(InvRunContext &c, INV_INFO *info) {
  if (c.RemovedCursor != nullptr) {
    CopyText(info->NodeName, sizeof info->NodeName, c.RemovedCursor->NodeName);
    CopyText(info->NodeAttr, sizeof info->NodeAttr, c.RemovedCursor->NodeAttr);
    c.RemovedCursor = c.RemovedCursor->next;
    INV_TRACE_END(0);
    return 0;
  }
  StopAhead();
  QVAD_ERROR_TBL err;
  int flag = 1;
  if (Qvad_GetRepFlag(c.RazSettingPath, &flag, &err) != 1) flag = 1;
  c.RunEnded = 1;
  std::string why;
  if (flag != 0 && c.OwnNodeFirst == 1 && !Qvad_InvRepoWhole(c, &why)) {
    // A cut or mixed file is never handed on: the asset inventory would
    // take it for the whole run.
    QVAD_INV_ERR(1, "(Error)Repository.csv not delivered, it is not whole : FileName = %s | %s", c.RepositoryCsvPath,
                 why.c_str());
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_REPOSITORY_NOT_WHOLE, c.RepositoryCsvPath, why.c_str(),
                     nullptr);
  } else if (flag != 0 && c.OwnNodeFirst == 1) {
    std::string ret = std::string(c.InstallDir) + Qvad_InvDirPiece("ret");
    if (Qvad_fxsend(ret.c_str(), "Repository.csv", c.RepInfoPath, &err, c.Job) != 1) {
      TraceError("Qvad_fxsend", err);
      ReportError("Qvad_fxsend");
    }
  }
  INV_TRACE_END(1);
  return 1;
}

// The text rows of every query result, appended to the node's file: true,
// or false after the trace and the report.
bool AddTextRows(const InvRunContext &c, const std::string &dir, const char *file) {
  if (c.TextFlagRead != 1) {
    const QVAD_ERROR_TBL &err = c.TextFlagError;
    // The text names another routine, but it is the one operators' scripts
    // have always matched for this failure: it stays as it is.
    QVAD_INV_ERR(3, "(Error)Qvad_OdbcSQLExecf : %s | %d | %d | %d ", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_SETTINGS_FAILED, nullptr);
    return false;
  }
  if (c.TextFlag != 1) return true;
  for (const QueryTableEntry *q = c.QueryTable; q != nullptr; q = q->next) {
    std::string source = dir + q->key + ".csv";
    INI_ERROR_NODE *errors = nullptr;
    int ok = Qvad_CreateTextInv(c.TextDef, c.TextCount, source.c_str(), file, &errors);
    for (INI_ERROR_NODE *e = errors; e != nullptr; e = e->Next) {
      QVAD_INV_ERR(1, "(Error)Qvad_CreateTextInv(Text): IniCnt = %d | %s | %d | %d | %d", e->IniCnt, e->Error.source,
                   e->Error.line, e->Error.local_code, static_cast<int>(e->Error.system_code));
    }
    Qvad_IniErrorFree(&errors);
    if (ok != 1) {
      ReportError("Qvad_CreateTextInv(Text)");
      return false;
    }
  }
  return true;
}

// [Interface] 2 must name the [Table] query that gives one record per
// interface. Told once per run; each node's repository rows are then
// refused (-8) rather than built from the first record of every table.
void CheckInterfaceTable(InvRunContext &c) {
  c.InterfaceTableKnown = Qvad_QueryTblHasKey(c.QueryTable, c.InterfaceTable) ? 1 : 0;
  if (c.InterfaceTableKnown == 1 || c.InterfaceTable[0] == '\0') return;
  QVAD_INV_ERR(1,
               "(Error)[Interface] 2 = %s names no [Table] key : Path = %s : every node's repository rows are refused",
               c.InterfaceTable, c.RazInvPath);
  Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_INTERFACE_TABLE_UNKNOWN, c.InterfaceTable, c.RazInvPath,
                   nullptr);
}

// The node's rows from the query results in dir: 0, or -8.
std::int32_t BuildRows(const InvRunContext &c, const std::string &dir, int interfaces, const char *file) {
  if (Qvad_InvOvGetHard(c, file, dir.c_str()) != 0) return -8;
  if (Qvad_InvOvGetRepo(c, dir.c_str(), interfaces) != 0) return -8;
  return AddTextRows(c, dir, file) ? 0 : -8;
}

// A node's results that ran ahead move from its slot folder to tmp/hard,
// where a run of one query at a time has them: the rows built from them
// (text rows name their source file) come out byte for byte the same.
bool MoveResults(const InvRunContext &c, const std::string &from, const std::string &to) {
  for (const QueryTableEntry *q = c.QueryTable; q != nullptr; q = q->next) {
    std::string source = from + q->key + ".csv", target = to + q->key + ".csv";
    std::remove(target.c_str());
    if (std::rename(source.c_str(), target.c_str()) != 0) {
      QVAD_INV_ERR(1, "(Error)rename : FileName = %s ErrNo = %d", source.c_str(), errno);
      return false;
    }
  }
  return true;
}

// One node's queries and rows: 0, -5 (its queries) or -8 (its rows).
std::int32_t CollectNode(InvRunContext &c, const NodeEntry &node, const char *file) {
  QvadQuerySite site = SequentialSite(c);
  QvadQueryAhead::Outcome ahead;
  if (c.Ahead != nullptr && c.Ahead->Take(&node, &ahead)) {
    bool ready = ahead.table == 0 && ahead.interfaces != kQvadQueryTimedOut && MoveResults(c, ahead.dir, site.dir);
    c.Ahead->Release();
    return ready ? BuildRows(c, site.dir, ahead.interfaces, file) : -5;
  }
  if (Qvad_InvOvQueryTblExec(site, node.NodeName, c.QueryTable) != 0) return -5;
  int interfaces = Qvad_InvOvInterface(site, c.InterfaceQuery, node.NodeName);
  // A count that never came is a failed query, not a node without interfaces.
  if (interfaces == kQvadQueryTimedOut) return -5;
  return BuildRows(c, site.dir, interfaces, file);
}

}  // namespace

extern "C" std::int32_t Qvad_EmInvInit(void) {
  InvRunContext &c = Ctx();
  StopAhead();
  CloseRunJob();
  std::memset(&c, 0, sizeof c);
  Qvad_InvOvTimeoutNewRun();
  Qvad_TraceOpen(&c.ErrTrace, 0, kInvErrChannel);
  Qvad_TraceOpen(&c.InfoTrace, 0, kInvInfoChannel);
  QVAD_INV_INFO(1, "START");
  if (TakeRunMutex(c) != 0) return -10;
  if (!ComposePaths(c)) return FailInit(-4);
  if (!TakeOverChildren(c)) return FailInit(-6);
  if (plat::FileExists(c.RepositoryCsvPath)) {
    QVAD_INV_ERR(3, "(Error)File Delete : FileName = %s", c.RepositoryCsvPath);
    std::remove(c.RepositoryCsvPath);
  }
  RemoveLeftFolders();
  if (!LoadDefinitions(c)) return FailInit(-6);
  ReadRunSettings(c);
  if (!ReadNodeLists(c)) return FailInit(-6);

  char host[129] = {};
  QVAD_ERROR_TBL err;
  Qvad_GetHostName(host, sizeof host, &err);
  FindOwnNodeFirst(c, host);
  if (Qvad_GetQueryTbl(&c.QueryTable, c.RazInvPath, "Table", &err) != 1) {
    TraceError("Qvad_GetQueryTbl", err);
    ReportError("Qvad_GetQueryTbl");
    return FailInit(-5);
  }
  CheckInterfaceTable(c);
  c.NodeCursor = c.NodeList;
  c.RemovedCursor = c.RemovedNodeList;

  int own = 0;
  if (Qvad_GetOwnSetting(c.RazSettingPath, &own, &err) != 1) {
    QVAD_INV_ERR(1, "(Warning)Qvad_GetOwnSetting : %s | %d | %d | %d : default(do not get own node) set and continue)",
                 err.source, err.line, err.local_code, static_cast<int>(err.system_code));
    own = 0;
  }
  if (own != 1 && c.OwnNodeFirst != 0 && !CollectOwnNode(c, host)) return FailInit(-6);
  StartAhead(c);
  return SucceedInit();
}

extern "C" std::int32_t Qvad_EmInvFile(INV_INFO *info) {
  InvRunContext &c = Ctx();
  QVAD_INV_INFO(1, "START");
  if (c.LastResultPath[0] != '\0') std::remove(c.LastResultPath);
  SkipRepeatedNodes(c);
  std::memset(info, 0, sizeof *info);
  if (c.RunEnded != 0) {
    INV_TRACE_END(1);
    return 1;
  }
  if (c.NodeCursor == nullptr) return AfterTheNodes(c, info);

  NodeEntry *node = c.NodeCursor;
  c.NodeCursor = node->next;
  if (const char *why = Qvad_InvNodeRefusal(*node)) {
    QVAD_INV_ERR(1, "%s : Name = %s", why, node->NodeName);
    INV_TRACE_END(-8);
    return -8;
  }
  CopyText(info->NodeName, sizeof info->NodeName, node->NodeName);
  CopyText(info->NodeAttr, sizeof info->NodeAttr, node->NodeAttr);
  int n = std::snprintf(info->FileName, sizeof info->FileName, "%s%s%s.csv", c.InstallDir,
                        Qvad_InvDirPiece("ret").c_str(), node->NodeName);
  if (n < 0 || n >= static_cast<int>(sizeof info->FileName)) {
    QVAD_INV_ERR(1, "(Error)Result file name too long : Name = %s", node->NodeName);
    std::memset(info, 0, sizeof *info);
    INV_TRACE_END(-8);
    return -8;
  }
  QVAD_INV_INFO(1, "%s", info->NodeName);
  if (plat::FileExists(info->FileName)) {
    QVAD_INV_ERR(3, "(Error)File access : FileName = %s | Ret = %d", info->FileName, 0);
    std::remove(info->FileName);
  }
  QvadRepoMark mark = Qvad_InvRepoMark(c);
  std::int32_t r = CollectNode(c, *node, info->FileName);
  if (r != 0) {
    // A node that fails leaves no partial result file behind: no host
    // receives it. Nor do its repository rows stay, whole or cut: the
    // repository holds the nodes the host was given, and only them.
    std::remove(info->FileName);
    Qvad_InvRepoTakeBack(c, mark, node->NodeName);
    std::memset(info, 0, sizeof *info);
    INV_TRACE_END(r);
    return r;
  }
  Qvad_InvRepoKeep(c);
  std::memcpy(c.LastResultPath, info->FileName, sizeof c.LastResultPath);
  INV_TRACE_END(0);
  return 0;
}

extern "C" std::int32_t Qvad_EmInvClose(void) {
  InvRunContext &c = Ctx();
  QVAD_INV_INFO(1, "START");
  // Queries still running ahead end before the run's mutex goes to the next host.
  StopAhead();
  CloseRunJob();
  ReleaseMutex();
  if (c.QueryOutPath[0] != '\0') std::remove(c.QueryOutPath);
  if (c.RepositoryCsvPath[0] != '\0') std::remove(c.RepositoryCsvPath);
  FreeAll();
  Qvad_ReportHeldBack(true);  // the run's warnings beyond the limit, counted
  INV_TRACE_END(0);
  Qvad_TraceClose(&c.ErrTrace, 0);
  Qvad_TraceClose(&c.InfoTrace, 0);
  return 1;
}
