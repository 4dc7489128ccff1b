// The checks. Every reading goes through the code a run uses: the registry
// reader and QvadGetInstallPathForDll, the profile reader, the settings
// readers, the definition loaders and the query-table reader of the engine,
// the tracer binding, the library loader. So a line here says what a run
// would find, not what a second reading of the files guesses.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "cmn/qvadmiscinv/qvadquerytbl.h"
#include "cmn/qvadmiscinv/qvadsettings.h"
#include "cmn/qvadmsgdllreg/eventsource.h"
#include "cmn/qvadnumber.h"
#include "cmn/qvadprofile.h"
#include "cmn/qvadtrace.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/error.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "tools/qvadcheck/qvadcheck.h"

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";

std::string Num(long long v) { return std::to_string(v); }

// What is wrong with a 0-or-1 setting the reader refused (22): the reader
// leaves -1 for a missing key, the value read otherwise.
std::string FlagProblem(const QVAD_ERROR_TBL &err) {
  return err.system_code == static_cast<std::uint32_t>(-1)
             ? std::string("missing")
             : Num(static_cast<std::int32_t>(err.system_code)) + " is not 0 or 1";
}

std::string Etc(const CheckContext &c, const char *file) { return c.install + plat::kEtcPiece + file; }

std::string Sub(const CheckContext &c, const char *a, const char *b = nullptr) {
  std::string p = c.install + plat::kSep + a;
  if (b != nullptr) p += std::string(plat::kSep) + b;
  return p;
}

std::string Profile(const std::string &file, const char *section, const char *key) {
  char value[1024] = {};
  QvadGetPrivateProfileString(section, key, "", value, sizeof value, file.c_str());
  return value;
}

// Sections of one inventory kind of RazInv.ini, by the loader's kind index.
const char *KindPrefix(int kind) {
  switch (kind) {
    case kInvKindHardware: return "Hardware";
    case kInvKindRepository: return "Repository";
    case kInvKindSingleRep: return "SingleRep";
    case kInvKindMultiRep: return "MultiRep";
    case kInvKindText: return "Text";
    default: return "Software";
  }
}

const char *MachinePrefix(int set) { return set == 1 ? "SingleRep" : set == 2 ? "MultiRep" : "Repository"; }

}  // namespace

void CheckInstall(CheckList *list, CheckContext *context) {
  const std::string registry = plat::RegistryLocation();
  const std::string vrex = std::string(kHklm) + kQvadVrexKey + "\\" + kQvadVrexValue;
  char root[260] = {};
  std::int32_t rc = QvadGetRootDir(root, sizeof root);
  bool have_root = rc == 0;
  if (rc != 0 && rc != kQvadPathTooLong) {
    list->Fail(registry, vrex, "cannot be read (result " + Num(rc) + "); the libraries cannot find the adapter",
               "set it to the root folder of the asset component (the folder whose etc holds nerladapter.env).");
  } else if (!have_root) {
    list->Fail(registry, vrex, "longer than 259 characters", "install the asset component in a shorter folder.");
  } else {
    list->Ok(registry, vrex, root);
  }

  char env[260] = {};
  if (have_root && !QvadEnvFilePath(root, env, sizeof env)) {
    list->Fail(std::string(root) + plat::kEtcPiece + kQvadEnvFileName, "", "path longer than 259 characters",
               "install the asset component in a shorter folder.");
  }
  char install[260] = {};
  rc = QvadGetInstallPathForDll(install, sizeof install);
  if (have_root && env[0] != '\0') {
    const std::string fix = "run qvademenv -p <install folder> as the installer does.";
    switch (rc) {
      case 0: list->Ok(env, "line 2", std::string("install folder ") + install); break;
      case 2: list->Fail(env, "", "cannot be opened", fix); break;
      case 3: list->Fail(env, "line 2", "missing: the file has fewer than two lines", fix); break;
      case 22:
      case kQvadPathTooLong:
        list->Fail(env, "line 2", "too long (result " + Num(rc) + ")",
                   "install the adapter in a shorter folder, then " + fix);
        break;
      default: list->Fail(env, "", "cannot be read (result " + Num(rc) + ")", fix); break;
    }
  }
  if (rc == 0) {
    context->install = install;
    if (!plat::FileExists(install)) {
      list->Fail(env, "line 2", std::string("names the folder ") + install + ", which does not exist",
                 "run qvademenv -p <install folder> with the folder the adapter is installed in.");
      context->install.clear();
    } else {
      // Line 1 is for the asset component: the front library it loads.
      std::string front = context->install + plat::kBinPiece + plat::LibraryFileName("qvadinv");
      if (!plat::FileExists(front.c_str())) {
        list->Warn(front, "", "the front library the inventory host loads is missing",
                   "install the adapter's bin folder again.");
      }
    }
  }

  const std::string nnm = std::string(kHklm) + kQvadNnmKey + "\\" + kQvadNnmValue;
  char nnm_dir[260] = {};
  rc = QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue, nnm_dir, sizeof nnm_dir - 1);
  if (rc != 0) {
    list->Fail(registry, nnm,
               "cannot be read (result " + Num(rc) + "); the service stops at once and no node list can be made",
               "set it to the network manager's install folder, ending in a separator.");
  } else {
    context->nnm_dir = nnm_dir;
    std::size_t n = context->nnm_dir.size();
    if (n == 0 || (context->nnm_dir[n - 1] != plat::kSep[0])) {
      list->Warn(registry, nnm,
                 std::string("\"") + nnm_dir + "\" does not end in a separator; bin is appended directly",
                 std::string("add a trailing ") + plat::kSep + ".");
    } else {
      list->Ok(registry, nnm, nnm_dir);
    }
  }
}

namespace {

// RazEvt.ini: the service maps each event's severity token through it.
void CheckRazEvt(CheckList *list, const CheckContext &c) {
  std::string razevt = Etc(c, "RazEvt.ini");
  if (!plat::FileExists(razevt.c_str())) {
    list->Warn(razevt, "", "missing: every event reaches the console with severity 768",
               "create it with a [Severity] section, one key per severity token (Critical=4 ...).");
  } else {
    char keys[4096] = {};
    QvadGetPrivateProfileString("Severity", nullptr, "", keys, sizeof keys, razevt.c_str());
    int count = 0;
    for (const char *k = keys; *k != '\0'; k += std::strlen(k) + 1) {
      ++count;
      std::string value = Profile(razevt, "Severity", k);
      std::int32_t number = 0;
      if (!Qvad_WholeDecimal(value.c_str(), &number)) {
        list->Warn(razevt, std::string("[Severity] ") + k, "\"" + value + "\" is not a number; it reads as 0",
                   "give the severity as a decimal number.");
      } else if (number == -1) {
        list->Warn(razevt, std::string("[Severity] ") + k, "-1 reads as missing: severity 768", "use another number.");
      }
    }
    if (count == 0) {
      list->Warn(razevt, "[Severity]", "no keys: every event reaches the console with severity 768",
                 "add one key per severity token (Critical=4 ...).");
    } else {
      list->Ok(razevt, "[Severity]", Num(count) + " severity tokens");
    }
  }
}

// RepInfo.ini: which repository kind and how the result is delivered.
void CheckRepInfo(CheckList *list, CheckContext *context) {
  const CheckContext &c = *context;
  std::string repinfo = Etc(c, "RepInfo.ini");
  const std::string repfix =
      "run qvadrepini -p <install folder> -i <server address> -t <repository type> [-s <site type> -n <site name>] "
      "as the installer does.";
  int type = static_cast<int>(QvadGetPrivateProfileInt("General", "Type", -1, repinfo.c_str()));
  if (!plat::FileExists(repinfo.c_str())) {
    list->Fail(repinfo, "", "missing: every inventory run ends at Init with -6", repfix);
  } else if (type == -1) {
    list->Fail(repinfo, "[General] Type", "missing: every inventory run ends at Init with -6", repfix);
  } else if (type < 0 || type > 2) {
    list->Fail(repinfo, "[General] Type", Num(type) + " is not 0, 1 or 2: every inventory run ends at Init with -6",
               repfix);
  } else {
    context->repository_type = type;
    list->Ok(repinfo, "[General] Type", Num(type));
    if (type == 2 && Profile(repinfo, "General", "SiteName").empty()) {
      list->Fail(repinfo, "[General] SiteName", "missing with Type 2: the delivery at the end of a run fails", repfix);
    }
  }
}

// RazSetting.ini: the own node, the query processes at a time and the delivery switch.
void CheckRazSetting(CheckList *list, CheckContext *context) {
  const CheckContext &c = *context;
  std::string razsetting = Etc(c, "RazSetting.ini");
  QVAD_ERROR_TBL err;
  int own = 0;
  if (Qvad_GetOwnSetting(razsetting.c_str(), &own, &err) == 1) {
    list->Ok(razsetting, "[Inventory] own", Num(own));
  } else if (err.local_code == 22) {
    std::string what = FlagProblem(err);
    list->Warn(razsetting, "[Inventory] own", what + ": the run goes on as with 0 (this computer is not a node)",
               "set own=0 or own=1.");
  }
  int workers = 1;
  if (Qvad_GetQueryWorkers(razsetting.c_str(), &workers, &err) == 1) {
    list->Ok(razsetting, "[Inventory] QueryWorkers",
             Num(workers) + (workers == 1 ? " (one query at a time)" : " query processes at a time"));
  } else {
    list->Warn(razsetting, "[Inventory] QueryWorkers",
               "not a number from 1 to " + Num(kQvadMaxQueryWorkers) + ": the run queries one node at a time",
               "set QueryWorkers to a number from 1 to " + Num(kQvadMaxQueryWorkers) + ", or remove it.");
  }
  int timeout = kQvadDefaultQueryTimeout;
  if (Qvad_GetQueryTimeout(razsetting.c_str(), &timeout, &err) == 1) {
    list->Ok(razsetting, "[Inventory] QueryTimeout",
             timeout == 0 ? std::string("0 (a query may run without limit)") : Num(timeout) + " s per query process");
  } else {
    list->Warn(razsetting, "[Inventory] QueryTimeout",
               "not a number of seconds from 0 to " + Num(kQvadMaxQueryTimeout) + ": the run uses " +
                   Num(kQvadDefaultQueryTimeout) + " s",
               "set QueryTimeout to a number of seconds from 0 (no limit) to " + Num(kQvadMaxQueryTimeout) +
                   ", or remove it.");
  }
  int delivery = 1;
  if (Qvad_GetRepFlag(razsetting.c_str(), &delivery, &err) == 1) {
    context->delivery = delivery;
    list->Ok(razsetting, "[Repository] own",
             Num(delivery) + (delivery ? " (the repository file is delivered with fxsend)" : " (no delivery)"));
  }
}

// RazInv.ini: the switches and queries the engine reads. False when the file is missing.
bool CheckRazInvQueries(CheckList *list, const std::string &razinv) {
  QVAD_ERROR_TBL err;
  if (!plat::FileExists(razinv.c_str())) {
    list->Fail(razinv, "", "missing: every inventory run fails", "copy the sample RazInv.ini into etc and adapt it.");
    return false;
  }
  int text = 0;
  if (Qvad_GetTextFlag(razinv.c_str(), &text, &err) == 1) {
    list->Ok(razinv, "[TextSetting] flag", Num(text));
  } else if (err.local_code == 22) {
    std::string what = FlagProblem(err);
    list->Fail(razinv, "[TextSetting] flag", what + ": every node ends with -8",
               "set flag=1 to append text rows to each node's file, flag=0 not to.");
  }
  if (Profile(razinv, "NodeInfo", "1").empty()) {
    list->Fail(razinv, "[NodeInfo] 1", "missing: no node list can be made, Init ends with -6",
               "give the data-warehouse query that lists the monitored nodes.");
  } else {
    list->Ok(razinv, "[NodeInfo] 1", "node query present");
  }
  if (Profile(razinv, "Interface", "1").empty()) {
    list->Warn(razinv, "[Interface] 1", "missing: the interface count query fails, so no node gets repository rows",
               "give the query that counts a node's interfaces (%s is the node name).");
  }
  if (Profile(razinv, "Interface", "2").empty()) {
    list->Fail(razinv, "[Interface] 2", "missing: every node ends with -8",
               "give the name of the per-interface table (the stem of its query result).");
  }
  QueryTableEntry *table = nullptr;
  if (Qvad_GetQueryTbl(&table, razinv.c_str(), "Table", &err) == 1) {
    int n = 0;
    for (QueryTableEntry *q = table; q != nullptr; q = q->next) ++n;
    list->Ok(razinv, "[Table]", Num(n) + " queries");
  } else {
    list->Fail(razinv, "[Table]", "empty, or a key longer than 7 characters: Init ends with -5",
               "give one query per key (the key names its result file, at most 7 characters).");
  }
  Qvad_FreeQueryTbl(table);

  return true;
}

// The keys of [Table]: the result files a node's queries give.
std::vector<std::string> TableKeys(const std::string &razinv) {
  std::vector<std::string> keys;
  QueryTableEntry *table = nullptr;
  QVAD_ERROR_TBL err;
  if (Qvad_GetQueryTbl(&table, razinv.c_str(), "Table", &err) == 1) {
    for (QueryTableEntry *q = table; q != nullptr; q = q->next) keys.push_back(q->key);
  }
  Qvad_FreeQueryTbl(table);
  return keys;
}

// Whether a table name is one of the keys, as the engine matches them.
bool IsTableKey(const std::vector<std::string> &keys, const char *name) {
  for (const std::string &k : keys) {
    if (Qvad_SameTableKey(k.c_str(), name)) return true;
  }
  return false;
}

// [Interface] 2 names the per-interface table: without it among the keys,
// every interface row would carry the first interface's values.
void CheckInterfaceTable(CheckList *list, const std::string &razinv, const std::vector<std::string> &keys) {
  std::string table = Profile(razinv, "Interface", "2");
  if (table.empty() || keys.empty() || IsTableKey(keys, table.c_str())) return;
  list->Fail(razinv, "[Interface] 2",
             "names " + table +
                 ", which is no key of [Table]: every node ends with -8 (its interface rows would "
                 "all repeat the first interface)",
             "name the [Table] key whose query gives one record per interface of the node.");
}

// Definitions that read a warehouse field name a [Table] key; a key [Table]
// does not define has no result file, and the node fails.
void CheckFieldTables(CheckList *list, const std::string &razinv, const std::string &entry, const char *table,
                      const std::vector<std::string> &keys) {
  if (keys.empty() || table[0] == '\0' || IsTableKey(keys, table)) return;
  list->Fail(razinv, entry,
             std::string("reads table ") + table + ", which [Table] does not define: every node ends with -8",
             std::string("add a query for ") + table + " to [Table], or correct the table name.");
}

// The definitions of RazInv.ini for the repository kind in force.
void CheckDefinitions(CheckList *list, const std::string &razinv, int set) {
  const std::vector<std::string> keys = TableKeys(razinv);
  CheckInterfaceTable(list, razinv, keys);
  for (int kind : {kInvKindHardware, kInvKindRepository + set, kInvKindText}) {
    const std::string prefix = KindPrefix(kind);
    INV_ITEM_DEF *defs = nullptr;
    INI_ERROR_NODE *errors = nullptr;
    std::int32_t count = Qvad_IniFileSet(razinv.c_str(), kind, &defs, &errors);
    std::int32_t last = -1;
    int bad = 0;
    for (INI_ERROR_NODE *e = errors; e != nullptr; e = e->Next) {
      if (e->IniCnt == last) continue;  // one line per entry
      last = e->IniCnt;
      ++bad;
      std::string n = Num(e->IniCnt);
      if (e->Error.local_code == 1 && e->IniCnt > 0 && count < 0 && e->Next == nullptr) {
        list->Fail(razinv, "[" + prefix + "Setting] " + n,
                   "missing: the whole definition file fails to load, Init ends with -6",
                   "add entry " + n + " or set [" + prefix + "Setting] count to " + Num(e->IniCnt - 1) + ".");
      } else if (e->Error.local_code == 1) {
        list->Fail(razinv, "[" + prefix + "Setting] " + n,
                   "invalid: entry " + n + " is left empty (fewer than five numbers, or [" + prefix + "Separator] " +
                       n + " missing with SepFlag 1, or [" + prefix + "Convert] " + n + " missing with ConvFlag 1)",
                   "give Type,Width,Quote,SepFlag,ConvFlag and the separator or conversion the flags ask for.");
      } else if (e->IniCnt > 0) {
        list->Fail(razinv, "[" + prefix + "Inventory] " + n,
                   "invalid: entry " + n +
                       " is left empty (a field reference table:column[:...][,conditions] that "
                       "cannot be read, more than ten parts or conditions, or a width in [" +
                       prefix + "Setting] " + n + " over 1023)",
                   "correct the value; see docs/configuration.md.");
      } else {
        list->Fail(razinv, "[" + prefix + "Setting]", "cannot be loaded (code " + Num(e->Error.local_code) + ")",
                   "check the install folder and memory.");
      }
    }
    Qvad_IniErrorFree(&errors);
    for (std::int32_t i = 0; i < count; ++i) {
      if (defs[i].Type == 3)
        CheckFieldTables(list, razinv, "[" + prefix + "Inventory] " + Num(i + 1), defs[i].Acquire.Part[0], keys);
    }
    std::free(defs);
    if (count >= 0 && bad == 0) list->Ok(razinv, "[" + prefix + "Setting]", Num(count) + " definitions");
  }
}

// The machine set of RazInv.ini for the repository kind in force.
void CheckMachines(CheckList *list, const std::string &razinv, int set) {
  MACHINE_DEF *machines = nullptr;
  INI_ERROR_NODE *errors = nullptr;
  std::int32_t count = Qvad_IniMachineSet(razinv.c_str(), &machines, set, &errors);
  const std::string prefix = MachinePrefix(set);
  std::int32_t last = -1;
  int bad = 0;
  for (INI_ERROR_NODE *e = errors; e != nullptr; e = e->Next) {
    if (e->IniCnt == last) continue;
    last = e->IniCnt;
    ++bad;
    list->Fail(razinv, "[" + prefix + "MachineID] " + Num(e->IniCnt),
               "invalid: machine " + Num(e->IniCnt) + " is never matched",
               "give <stem>:<column>[|<column>...][,conditions] with every part non-empty.");
  }
  Qvad_IniErrorFree(&errors);
  const std::vector<std::string> keys = TableKeys(razinv);
  for (std::int32_t i = 0; i < count; ++i) {
    if (machines[i].Valid == 1)
      CheckFieldTables(list, razinv, "[" + prefix + "MachineID] " + Num(i + 1), machines[i].Acquire.Part[0], keys);
  }
  std::free(machines);
  if (count >= 0 && bad == 0) list->Ok(razinv, "[" + prefix + "MachineID]", Num(count) + " machine definitions");
}

}  // namespace

void CheckSettings(CheckList *list, CheckContext *context) {
  if (context->install.empty()) return;
  CheckRazEvt(list, *context);
  CheckRepInfo(list, context);
  CheckRazSetting(list, context);
  std::string razinv = Etc(*context, "RazInv.ini");
  if (!CheckRazInvQueries(list, razinv)) return;
  int set = context->repository_type >= 0 ? context->repository_type : 0;
  CheckDefinitions(list, razinv, set);
  CheckMachines(list, razinv, set);
}

void CheckComponents(CheckList *list, const CheckContext &context) {
  const std::string bin_hint =
      context.install.empty() ? std::string("the adapter's bin folder") : context.install + plat::kBinPiece;
  // The tracer, found exactly as every program binds it.
  QVAD_TRACER tracer;
  std::memset(&tracer, 0, sizeof tracer);
  std::string tracer_file = plat::LibraryFileName("zltgate");
  if (Qvad_TracerLoad(&tracer) == 1) {
    list->Ok(tracer_file, "", "found: " + plat::ModulePath(reinterpret_cast<const void *>(tracer.ZltTrace)));
    Qvad_TracerUnload(&tracer);
  } else {
    std::uint32_t code = plat::LastError();
    list->Fail(tracer_file, "",
               (code == 127 ? std::string("lacks an entry point") : std::string("not found")) + " (result " +
                   Num(code) + "): every program runs without traces",
               "put the tracer library in " + bin_hint + " or on the library search path.");
  }

  // The console library, which the service cannot start without.
  std::string console_file = plat::LibraryFileName("qvcnsput");
  plat::Library console = plat::LoadLibraryByName("qvcnsput");
  if (console == nullptr) {
    list->Fail(console_file, "", "not found (result " + Num(plat::LastError()) + "): the service cannot start",
               "install the operations console's library where the service finds it (" + bin_hint + ").");
  } else {
    if (plat::LibrarySymbolOrdinal(console, 9, "cnsput3") == nullptr) {
      list->Fail(console_file, "cnsput3", "entry point missing: the service cannot start",
                 "install the console library of the operations console.");
    } else {
      list->Ok(console_file, "cnsput3", "found");
    }
    plat::FreeLibrary(console);
  }

  if (!context.nnm_dir.empty()) {
    // The service's and the engine's own ways to name the two commands.
    std::string dump = context.nnm_dir + "bin" + plat::kSep + "ovdumpevents" + plat::kExeSuffix;
    if (plat::FileExists(dump.c_str())) {
      list->Ok(dump, "", "found");
    } else {
      list->Fail(dump, "", "missing: the service stops at once",
                 "install the network manager, or correct its InstallDir in the registry.");
    }
    char query[260] = {};
    if (Qvad_InvOvInstDirGet(query, sizeof query) != 0) {
      list->Fail(context.nnm_dir, "", "too long for the query tool's path",
                 "install the network manager in a shorter folder.");
    } else if (plat::CanRunProgram(query)) {
      list->Ok(query, "", "found");
    } else if (plat::FileExists(query)) {
      list->Fail(query, "", "present but cannot be run by this user: every inventory run ends at Init with -6",
                 "make it executable for the inventory host's user (chmod 755), or reinstall the warehouse tools.");
    } else {
      list->Fail(query, "", "missing: no node list can be made, every inventory run ends at Init with -6",
                 "install the network manager's data warehouse tools, or correct its InstallDir in the registry.");
    }
  }

  std::string fxsend = plat::FindProgram((std::string("fxsend") + plat::kExeSuffix).c_str());
  if (!fxsend.empty()) {
    list->Ok(fxsend, "", "found");
  } else if (context.delivery != 0) {
    list->Warn(std::string("fxsend") + plat::kExeSuffix, "",
               "not found on PATH: delivering the repository file at the end of a run fails",
               "install the asset inventory's file transfer command, or set [Repository] own=0 in RazSetting.ini.");
  }

  // The message texts of the event log.
  const std::string registry = plat::RegistryLocation();
  const std::string key = std::string(kHklm) + kQvadEventSourceKey + "\\EventMessageFile";
  char file[600] = {};
  if (QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "EventMessageFile", file,
                          sizeof file - 1) != 0) {
    list->Warn(registry, key, "missing: events are logged without their texts",
               "run qvadmsgdllreg -p <install folder> as the installer does.");
  } else if (!plat::FileExists(file)) {
    list->Warn(registry, key,
               std::string("names ") + file + ", which does not exist: events are logged without their texts",
               "run qvadmsgdllreg -p <install folder> as the installer does.");
  } else {
    list->Ok(registry, key, file);
  }
}

void CheckFolders(CheckList *list, const CheckContext &context) {
  struct Folder {
    std::string path;
    const char *who;
  };
  std::vector<Folder> folders;
  if (!context.install.empty()) {
    folders.push_back({Sub(context, "etc"), "the service keeps EvtKeep.txt, EvtCount.txt and StopTime.txt there"});
    folders.push_back({Sub(context, "var"),
                       "the engine keeps node.csv, node.bak and node.txt there, and the run lock qavdinv.lock "
                       "(on Linux: without it every inventory run ends at Init with -10)"});
    folders.push_back({Sub(context, "tmp", "hard"), "the engine's query files and results go there"});
    folders.push_back({Sub(context, "ret"), "the result files go there"});
  }
  std::string refusal;
  std::string rundir = plat::RuntimeDir(&refusal);
  if (!rundir.empty()) {
    folders.push_back({rundir, "the service's pipe is made there"});
  } else {
    list->Fail("runtime folder", "", refusal,
               "remove it (another user's folder or link) or set QVAD_RUNDIR to a folder of the service's own.");
  }
  for (const Folder &f : folders) {
    // Writing a file is the only test that answers for every user and file system.
    std::string probe = f.path + plat::kSep + ".qvadcheck." + Num(plat::ProcessId());
    std::FILE *p = std::fopen(probe.c_str(), "w");
    bool ok = p != nullptr && std::fputs("x", p) >= 0;
    if (p != nullptr) ok = std::fclose(p) == 0 && ok;
    std::remove(probe.c_str());
    if (ok) {
      list->Ok(f.path, "", "writable");
    } else {
      list->Fail(f.path, "", std::string("not a writable folder: ") + f.who,
                 "create the folder and let the service's and the inventory host's users write to it.");
    }
  }
}
