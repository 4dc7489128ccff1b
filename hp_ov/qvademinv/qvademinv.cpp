// The engine's entry points: Init prepares a run (mutex, definition tables,
// node lists, query table, the own node), File produces one node per call,
// Close releases everything. One run per process at a time, one thread.
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
#include "hp_ov/qvademinv/qvadmutex.h"
#include "hp_ov/qvademinv/qvadovcollect.h"
#include "hp_ov/qvademinv/qvadovnodes.h"
#include "hp_ov/qvademinv/qvadovquery.h"
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

void ReportError(const char *what) { Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, what, nullptr); }

// A node name becomes a file name in the result folder: one that holds a
// separator, a drive colon, a parent reference or a control character would
// name a file elsewhere, so it is refused.
bool SafeNodeFileName(const char *name) {
  if (name[0] == '\0' || std::strstr(name, "..") != nullptr) return false;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
    if (*p < 0x20 || *p == 0x7F || *p == '/' || *p == '\\' || *p == ':') return false;
  }
  return true;
}

// Why a node cannot be collected, as the start of its error trace, or null. A
// name goes into the query templates unescaped, so a quote or a backslash
// in it could change what a query asks for; a name or attribute longer than
// the host's record holds would reach the host cut.
const char *Refusal(const NodeEntry &node) {
  if (node.TooLong) return "(Error)Node name or attribute too long for the record";
  if (!SafeNodeFileName(node.NodeName)) return "(Error)Node name refused as a file name";
  if (std::strpbrk(node.NodeName, "'\"\\") != nullptr) return "(Error)Node name refused in a query";
  return nullptr;
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

}  // namespace

extern "C" std::int32_t Qvad_EmInvInit(void) {
  InvRunContext &c = Ctx();
  std::memset(&c, 0, sizeof c);
  Qvad_TraceOpen(&c.ErrTrace, 0, kInvErrChannel);
  Qvad_TraceOpen(&c.InfoTrace, 0, kInvInfoChannel);
  QVAD_INV_INFO(1, "START");
  QVAD_ERROR_TBL err;
  Qvad_ResetError(&err);

  int m = Qvad_CreateMutex(&c.Mutex, &err);
  if (m == -1) {
    QVAD_INV_ERR(3, "Qvad_EmInvInit Qvad_CreateMutex(Error) (%d %d %d).", err.line, err.local_code,
                 static_cast<int>(err.system_code));
    ReportError("Qvad_CreateMutex");
    c.Mutex = nullptr;
    INV_TRACE_END(-10);
    Qvad_TraceClose(&c.ErrTrace, 0);
    Qvad_TraceClose(&c.InfoTrace, 0);
    return -10;
  }
  if (m == 5) {
    QVAD_INV_INFO(3, "Qvad_EmInvInit Wait Mutex.");
    int w;
    while ((w = Qvad_WaitForMutex(c.Mutex, 500, &err)) == 7) {
    }
    if (w != 6) {
      QVAD_INV_ERR(3, "Qvad_EmInvInit Error in %s (%d %d %d).", "Qvad_WaitForMutex", err.line, err.local_code,
                   static_cast<int>(err.system_code));
      ReportError("Qvad_WaitForMutex");
      plat::CloseRunMutex(c.Mutex);
      c.Mutex = nullptr;
      INV_TRACE_END(-10);
      Qvad_TraceClose(&c.ErrTrace, 0);
      Qvad_TraceClose(&c.InfoTrace, 0);
      return -10;
    }
    QVAD_INV_INFO(3, "Qvad_EmInvInit Get Mutex.");
  }

  std::int32_t r = QvadGetInstallPathForDll(c.InstallDir, sizeof c.InstallDir);
  if (r != 0) {
    QVAD_INV_ERR(1, "(Error)QvadGetInstallPathForDll : Ret = %d", static_cast<int>(r));
    ReportError("QvadGetInstallPathForDll");
    return FailInit(-4);
  }
  // Every path must fit its 260-byte field, or files would land elsewhere.
  if (!Compose(c.RazInvPath, c.InstallDir, plat::kEtcPiece, "RazInv.ini") ||
      !Compose(c.RepositoryCsvPath, c.InstallDir, Qvad_InvDirPiece("ret"), "Repository.csv") ||
      !Compose(c.NodeCsvPath, c.InstallDir, Qvad_InvDirPiece("var"), "node.csv") ||
      !Compose(c.RepInfoPath, c.InstallDir, plat::kEtcPiece, "RepInfo.ini") ||
      !Compose(c.QueryOutPath, c.InstallDir, Qvad_InvHardDir(""), "ovdwquery.txt")) {
    QVAD_INV_ERR(1, "(Error)QvadGetInstallPathForDll : Ret = %d", static_cast<int>(kQvadPathTooLong));
    ReportError("QvadGetInstallPathForDll");
    return FailInit(-4);
  }
  if (plat::FileExists(c.RepositoryCsvPath)) {
    QVAD_INV_ERR(3, "(Error)File Delete : FileName = %s", c.RepositoryCsvPath);
    std::remove(c.RepositoryCsvPath);
  }

  int type = static_cast<int>(QvadGetPrivateProfileInt("General", "Type", -1, c.RepInfoPath));
  if (type == -1) {
    QVAD_INV_ERR(1, "(Error)Repository Method (Data Non) : %x", static_cast<unsigned>(type));
    ReportError("QVAD_REP_TYPE_INVALID NON");
    return FailInit(-6);
  }
  if (type < 0 || type > 2) {
    QVAD_INV_ERR(1, "(Error)Repository Method (No Match) : %d", type);
    ReportError("QVAD_REP_TYPE_INVALID ERROR");
    return FailInit(-6);
  }
  if (Qvad_InvOvIniAnalysis(&c.HwDef, &c.HwCount, &c.RepoDef, &c.RepoCount, &c.TextDef, &c.TextCount, &c.MachineDef,
                            &c.MachineCount, kInvKindRepository + type, type) != 1) {
    c.HwDef = c.RepoDef = c.TextDef = nullptr;
    c.MachineDef = nullptr;
    return FailInit(-6);
  }
  // The field editor's language switch is read once per run, not per cell.
  Qvad_InvReadLanguage();

  // This run's list is fetched beside the previous one and replaces it only
  // when Init succeeds: a failed query, an unreadable list or an abandoned
  // Init leaves node.csv and node.bak as they were, so the nodes removed
  // since the last good run are still reported by the next one.
  char fresh[260];
  if (!Compose(fresh, c.InstallDir, Qvad_InvDirPiece("var"), "node.new")) {
    QVAD_INV_ERR(1, "(Error)QvadGetInstallPathForDll : Ret = %d", static_cast<int>(kQvadPathTooLong));
    ReportError("QvadGetInstallPathForDll");
    return FailInit(-4);
  }
  std::memcpy(c.NewNodeCsvPath, fresh, sizeof c.NewNodeCsvPath);
  if (Qvad_InvOvNodeListMake(c.InstallDir, c.RazInvPath, fresh, c.QueryOutPath) != 0) return FailInit(-6);
  if (Qvad_GetNodeInfoEx(&c.NodeList, fresh, &err) != 1) {
    QVAD_INV_ERR(1, "(Error)Qvad_GetNodeInfo : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    FreeAll();
    ReportError("Qvad_GetNodeInfoEx");
    return FailInit(-6);
  }

  c.OwnNodeFirst = 1;
  char host[129] = {};
  QVAD_ERROR_TBL host_err;
  Qvad_GetHostName(host, sizeof host, &host_err);
  if (c.NodeList == nullptr) {
    c.OwnNodeFirst = 0;
    QVAD_INV_INFO(1, "(Info) Number of Monitoring Target Node is Zero.");
  } else {
    char first[129] = {};
    Qvad_NodeShortName(c.NodeList->NodeName, first, sizeof first);
    if (std::strcmp(first, host) != 0) {
      c.OwnNodeFirst = 0;
      QVAD_INV_INFO(1, "(Info) Own Node(%s) is not Exist.", host);
    }
  }
  // The previous run's list is still node.csv; none on a first run.
  if (plat::FileExists(c.NodeCsvPath) && Qvad_GetRmNodeInfo(&c.RemovedNodeList, c.NodeCsvPath, c.NodeList, &err) != 1) {
    QVAD_INV_ERR(1, "(Error)Qvad_GetRmNodeInfo : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    c.RemovedNodeList = nullptr;
  }
  if (Qvad_GetQueryTbl(&c.QueryTable, c.RazInvPath, "Table", &err) != 1) {
    QVAD_INV_ERR(1, "(Error)Qvad_GetQueryTbl : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    FreeAll();
    ReportError("Qvad_GetQueryTbl");
    return FailInit(-5);
  }
  c.NodeCursor = c.NodeList;
  c.RemovedCursor = c.RemovedNodeList;

  int own = 0;
  if (Qvad_GetOwnSetting(&own, &err) != 1) {
    QVAD_INV_ERR(1, "(Warning)Qvad_GetOwnSetting : %s | %d | %d | %d : default(do not get own node) set and continue)",
                 err.source, err.line, err.local_code, static_cast<int>(err.system_code));
    own = 0;
  }
  if (own == 1 || c.OwnNodeFirst == 0) return SucceedInit();
  // This computer is inventoried now, for the repository only, and is not
  // handed to File. A refused name gives no rows, as it would give no file.
  std::string hard = HardDir();
  if (const char *why = Refusal(*c.NodeList)) {
    QVAD_INV_ERR(1, "%s : Name = %s", why, c.NodeList->NodeName);
  } else if (Qvad_InvOvQueryTblExec(c.NodeList->NodeName, hard.c_str(), c.QueryTable, c.QueryOutPath) != 0 ||
             Qvad_InvOvGetRepo(c.RepoDef, c.MachineDef, c.InstallDir, c.RepositoryCsvPath, c.RepoCount, c.MachineCount,
                               c.NodeList->NodeName, hard.c_str(), c.RepInfoPath, c.QueryOutPath) != 0) {
    return FailInit(-6);
  }
  c.NodeCursor = c.NodeList->next;
  while (c.NodeCursor != nullptr) {
    char short_name[129] = {};
    Qvad_NodeShortName(c.NodeCursor->NodeName, short_name, sizeof short_name);
    if (std::strcmp(short_name, host) != 0) break;
    c.NodeCursor = c.NodeCursor->next;
  }
  return SucceedInit();
}

extern "C" std::int32_t Qvad_EmInvFile(INV_INFO *info) {
  InvRunContext &c = Ctx();
  QVAD_INV_INFO(1, "START");
  if (c.LastResultPath[0] != '\0') std::remove(c.LastResultPath);

  std::string stem = LastStem();
  while (c.NodeCursor != nullptr && c.LastResultPath[0] != '\0' && stem == c.NodeCursor->NodeName) {
    QVAD_INV_INFO(1, "Same Node Skip: %s", c.NodeCursor->NodeName);
    c.NodeCursor = c.NodeCursor->next;
  }

  std::memset(info, 0, sizeof *info);
  if (c.RunEnded != 0) {
    INV_TRACE_END(1);
    return 1;
  }
  if (c.NodeCursor == nullptr) {
    if (c.RemovedCursor != nullptr) {
      CopyText(info->NodeName, sizeof info->NodeName, c.RemovedCursor->NodeName);
      CopyText(info->NodeAttr, sizeof info->NodeAttr, c.RemovedCursor->NodeAttr);
      c.RemovedCursor = c.RemovedCursor->next;
      INV_TRACE_END(0);
      return 0;
    }
    QVAD_ERROR_TBL err;
    int flag = 1;
    if (Qvad_GetRepFlag(&flag, &err) != 1) flag = 1;
    c.RunEnded = 1;
    if (flag == 0) {
      INV_TRACE_END(1);
      return 1;
    }
    if (c.OwnNodeFirst == 1) {
      std::string ret = std::string(c.InstallDir) + Qvad_InvDirPiece("ret");
      if (Qvad_fxsend(ret.c_str(), "Repository.csv", c.RepInfoPath, &err) != 1) {
        QVAD_INV_ERR(1, "(Error)Qvad_fxsend : %s | %d | %d | %d", err.source, err.line, err.local_code,
                     static_cast<int>(err.system_code));
        ReportError("Qvad_fxsend");
      }
    }
    INV_TRACE_END(1);
    return 1;
  }

  NodeEntry *node = c.NodeCursor;
  c.NodeCursor = node->next;
  if (const char *why = Refusal(*node)) {
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
  std::string hard = HardDir();
  // A node that fails leaves no partial result file behind: no host receives it.
  auto fail = [&](std::int32_t value) {
    std::remove(info->FileName);
    std::memset(info, 0, sizeof *info);
    INV_TRACE_END(value);
    return value;
  };
  if (Qvad_InvOvQueryTblExec(info->NodeName, hard.c_str(), c.QueryTable, c.QueryOutPath) != 0) return fail(-5);
  if (Qvad_InvOvGetHard(c.HwDef, c.InstallDir, info->FileName, c.HwCount, hard.c_str()) != 0) return fail(-8);
  if (Qvad_InvOvGetRepo(c.RepoDef, c.MachineDef, c.InstallDir, c.RepositoryCsvPath, c.RepoCount, c.MachineCount,
                        info->NodeName, hard.c_str(), c.RepInfoPath, c.QueryOutPath) != 0) {
    return fail(-8);
  }
  QVAD_ERROR_TBL err;
  int text = 0;
  if (Qvad_GetTextFlag(&text, &err) != 1) {
    QVAD_INV_ERR(3, "(Error)Qvad_GetTextFlag : %s | %d | %d | %d ", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_SETTINGS_FAILED, nullptr);
    return fail(-8);
  }
  if (text == 1) {
    for (const QueryTableEntry *q = c.QueryTable; q != nullptr; q = q->next) {
      std::string source = hard + q->key + ".csv";
      INI_ERROR_NODE *errors = nullptr;
      int ok = Qvad_CreateTextInv(c.TextDef, c.TextCount, source.c_str(), info->FileName, &errors);
      for (INI_ERROR_NODE *e = errors; e != nullptr; e = e->Next) {
        QVAD_INV_ERR(1, "(Error)Qvad_CreateTextInv(Text): IniCnt = %d | %s | %d | %d | %d", e->IniCnt, e->Error.source,
                     e->Error.line, e->Error.local_code, static_cast<int>(e->Error.system_code));
      }
      Qvad_IniErrorFree(&errors);
      if (ok != 1) {
        ReportError("Qvad_CreateTextInv(Text)");
        return fail(-8);
      }
    }
  }
  std::memcpy(c.LastResultPath, info->FileName, sizeof c.LastResultPath);
  INV_TRACE_END(0);
  return 0;
}

extern "C" std::int32_t Qvad_EmInvClose(void) {
  InvRunContext &c = Ctx();
  QVAD_INV_INFO(1, "START");
  ReleaseMutex();
  if (c.QueryOutPath[0] != '\0') std::remove(c.QueryOutPath);
  if (c.RepositoryCsvPath[0] != '\0') std::remove(c.RepositoryCsvPath);
  FreeAll();
  INV_TRACE_END(0);
  Qvad_TraceClose(&c.ErrTrace, 0);
  Qvad_TraceClose(&c.InfoTrace, 0);
  return 1;
}
