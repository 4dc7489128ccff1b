// Hardware and repository rows of one node, and the three repository
// macros: HOST (site name and a host column), OPERATION (the product
// edition's install type) and MACHINEGET (the names of the machine kinds
// whose flag column holds "1").
#include "hp_ov/qvademinv/qvadovcollect.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvadcollect.h"
#include "cmn/qvadmiscinv/qvadconv.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "cmn/qvadmiscinv/qvadsettings.h"
#include "cmn/qvadnumber.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/sys.h"

namespace {

void TraceErrorList(INI_ERROR_NODE *list, const char *format) {
  for (INI_ERROR_NODE *e = list; e != nullptr; e = e->Next) {
    Qvad_TraceF(&Qvad_InvContext()->ErrTrace, 0, 1, __FILE__, __LINE__, 0, format, e->IniCnt, e->Error.source,
                e->Error.line, e->Error.local_code, static_cast<int>(e->Error.system_code));
  }
  Qvad_IniErrorFree(&list);
}

// A zeroed row of count cells, or null after the trace and the report
// naming the kind ("HW", "Repo").
QvadMallocPtr<INV_FIELD> NewRow(int count, const char *kind) {
  QVAD_ERROR_TBL error;
  Qvad_ResetError(&error);
  QvadMallocPtr<INV_FIELD> row(Qvad_GetInvData(count, &error));
  if (!row) {
    QVAD_INV_ERR(1, "(Error)Qvad_GetInvData(%s) : %s | %d | %d | %d", kind, error.source, error.line, error.local_code,
                 static_cast<int>(error.system_code));
    std::string step = std::string("Qvad_GetInvData(") + kind + ")";
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, step.c_str(), nullptr);
  }
  return row;
}

}  // namespace

int Qvad_InvOvGetHard(const InvRunContext &run, const char *result_path, const char *dir) {
  const int count = run.HwCount;
  QvadMallocPtr<INV_FIELD> row = NewRow(count, "HW");
  if (!row) return -2;
  INI_ERROR_NODE *errors = nullptr;
  int ok = Qvad_GetHwInv(run.HwDef, row.get(), count, dir, &errors);
  TraceErrorList(errors, "(ERROR)Qvad_GetHwInv(HW) : IniCnt = %d | %s | %d | %d | %d");
  if (ok == 0) {
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "Qvad_GetHwInv", nullptr);
    return -3;
  }
  return Qvad_WriteRetRow(row.get(), count, result_path, "HW") == 0 ? 0 : -3;
}

int Qvad_InvOvGetRepo(const InvRunContext &run, const char *dir, int interfaces) {
  const int count = run.RepoCount;
  if (run.InterfaceTable[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvGetRepo - GetPrivateProfileString : Sec = %s Key = %s Path = %s.", "Interface",
                 "2", run.RazInvPath);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "Qvad_GetInvData(Repo) IF TableGetErr",
                     nullptr);
    return -1;
  }
  if (run.InterfaceTableKnown != 1) {
    // Rows that would all carry the first interface's values are refused,
    // not delivered; Init has told the event log.
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvGetRepo : [Interface] 2 = %s names no [Table] key : Path = %s",
                 run.InterfaceTable, run.RazInvPath);
    return -1;
  }
  if (interfaces <= 0) return 0;
  // Every interface row reads the same result files, and row n picks line n
  // of the interface table: read each file once for the whole node, or the
  // node's cost grows with the square of its interface count.
  QvadResultCacheScope once_per_node;
  for (int n = 1; n <= interfaces; ++n) {
    QvadMallocPtr<INV_FIELD> row = NewRow(count, "Repo");
    if (!row) return -2;
    if (Qvad_InvOvGetRepoInv(run, row.get(), n, dir) == 0) return -3;
    if (Qvad_WriteRetRow(row.get(), count, run.RepositoryCsvPath, "Repo") != 0) return -3;
  }
  return 0;
}

namespace {

// Why the run's repository file is not whole (RepositoryNotWhole).
constexpr std::int32_t kRepoWhole = 0;
constexpr std::int32_t kRepoNotTakenBack = 1;
constexpr std::int32_t kRepoChangedOutside = 2;

// The repository file's length, 0 when there is none.
std::uint64_t RepoLength(const InvRunContext &run, bool *existed) {
  std::uint64_t length = 0;
  *existed = plat::FileLength(run.RepositoryCsvPath, &length) == 0;
  return *existed ? length : 0;
}

// Whether the file is still as the run left it. The first time it is not
// (and no cut row left it so), someone else wrote into it: traced once.
void CheckRepoAsLeft(InvRunContext &run, std::uint64_t length) {
  if (length == run.RepositoryLength || run.RepositoryNotWhole != kRepoWhole) return;
  QVAD_INV_ERR(1, "(Error)Repository.csv changed outside the run : FileName = %s | Length = %llu | Expected = %llu",
               run.RepositoryCsvPath, static_cast<unsigned long long>(length),
               static_cast<unsigned long long>(run.RepositoryLength));
  run.RepositoryNotWhole = kRepoChangedOutside;
}

}  // namespace

QvadRepoMark Qvad_InvRepoMark(InvRunContext &run) {
  QvadRepoMark mark{false, 0};
  mark.length = RepoLength(run, &mark.existed);
  CheckRepoAsLeft(run, mark.length);
  return mark;
}

void Qvad_InvRepoKeep(InvRunContext &run) {
  bool existed = false;
  run.RepositoryLength = RepoLength(run, &existed);
}

int Qvad_InvRepoTakeBack(InvRunContext &run, const QvadRepoMark &mark, const char *node) {
  const char *path = run.RepositoryCsvPath;
  std::uint64_t now = 0;
  int err = plat::FileLength(path, &now);
  if (err == ENOENT && !mark.existed) return 0;  // the node wrote nothing
  if (err == 0 && mark.existed && now == mark.length) return 0;
  if (err == 0) {
    if (mark.existed) {
      err = plat::CutFileBack(path, mark.length);
    } else if (std::remove(path) != 0) {
      err = errno != 0 ? errno : EIO;
    }
  }
  if (err == 0) {
    QVAD_INV_ERR(1, "(Error)Repository rows of a failed node taken back : Name = %s | Length = %llu", node,
                 static_cast<unsigned long long>(mark.length));
    return 0;
  }
  if (run.RepositoryNotWhole == kRepoWhole) run.RepositoryNotWhole = kRepoNotTakenBack;
  QVAD_INV_ERR(1,
               "(Error)Repository rows of a failed node cannot be taken back : Name = %s | ErrNo = %d : FileName = %s",
               node, err, path);
  return -1;
}

bool Qvad_InvRepoWhole(InvRunContext &run, std::string *why) {
  bool existed = false;
  std::uint64_t length = RepoLength(run, &existed);
  CheckRepoAsLeft(run, length);
  if (run.RepositoryNotWhole == kRepoNotTakenBack) {
    *why = "rows of a failed node could not be taken back";
    return false;
  }
  if (run.RepositoryNotWhole == kRepoChangedOutside) {
    *why = "it was changed outside the run";
    return false;
  }
  // No file (no node gave a row) is not a cut file: the delivery says so itself.
  if (length == 0) return true;
  QvadFile f(std::fopen(run.RepositoryCsvPath, "rb"));
  int last = EOF;
  if (f && std::fseek(f.get(), -1, SEEK_END) == 0) last = std::fgetc(f.get());
  if (last == '\n') return true;
  *why = last == EOF ? "it cannot be read" : "its last row has no line end";
  return false;
}

int Qvad_InvOvGetRepoInv(const InvRunContext &run, INV_FIELD *row, int interface_no, const char *dir) {
  for (int i = 0; i < run.RepoCount; ++i) {
    const INV_ITEM_DEF &d = run.RepoDef[i];
    char value[1024] = {};
    QVAD_ERROR_TBL error;
    Qvad_ResetError(&error);
    int r = 0;
    switch (d.Type) {
      case 1: std::snprintf(value, sizeof value, "%s", d.Text); break;
      case 2: r = Qvad_InvOvGetRepoSelect(run, d, dir, value, sizeof value, &error); break;
      case 3:
        if (std::strcmp(d.Acquire.Part[0], run.InterfaceTable) == 0) {
          r = Qvad_GetCurrentInvDB(&d, interface_no, value, sizeof value, dir, &error);
        } else {
          r = Qvad_GetHwInvDB(&d, value, sizeof value, dir, &error);
        }
        break;
      case 0: break;
      default:
        QVAD_FILL_ERROR(&error, 22, plat::kErrInvalidParameter);
        QVAD_INV_ERR(1, "(Error)Qvad_GetCurrentInvDB : %s | %d | %d | %d | IniCnt = %d", error.source, error.line,
                     error.local_code, static_cast<int>(error.system_code), i + 1);
        Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "GetCurrentInvDB(Repo)", nullptr);
        break;
    }
    if ((d.Type == 2 || d.Type == 3) && r != 0) {
      QVAD_INV_ERR(1, "(Error)Qvad_GetCurrentInvDB(Repo) : %s | %d | %d | %d | IniCnt = %d", error.source, error.line,
                   error.local_code, static_cast<int>(error.system_code), i + 1);
      value[0] = '\0';
      if (r == -1) {
        Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "GetCurrentInvDB(Repo)", nullptr);
        return 0;
      }
    }
    if (d.Type >= 1 && d.Type <= 3 && value[0] == '\0') {
      QVAD_INV_ERR(1, "(Error)Qvad_GetCurrentInvDB(Repo) No Match Data: IniCnt = %d", i + 1);
    }
    Qvad_ResetError(&error);
    if (Qvad_GetFieldEdit(&d, value, &row[i], 1024, &error) != 1) {
      QVAD_INV_ERR(1, "(Error)Qvad_GetFieldEdit(Repo) : %s | %d | %d | %d | IniCnt = %d", error.source, error.line,
                   error.local_code, static_cast<int>(error.system_code), i + 1);
    }
    row[i].Value[sizeof row[i].Value - 1] = '\0';
    row[i].Length = static_cast<std::uint32_t>(std::strlen(row[i].Value));
  }
  return 1;
}

int Qvad_InvOvGetRepoSelect(const InvRunContext &run, const INV_ITEM_DEF &def, const char *dir, char *out, int size,
                            QVAD_ERROR_TBL *error) {
  const char *text = def.Text;
  char name[1024] = {};
  char args[1024] = {};
  if (Qvad_MacroStructDiv(text, name, sizeof name, args, sizeof args, error) != 1) {
    QVAD_INV_ERR(1, "(ERROR)Qvad_MacroStructDiv(InvOvGetRepo) : Name = %s", text);
    return -3;
  }
  char value[1024] = {};
  int r;
  if (std::strcmp(name, "MACHINEGET") == 0) {
    r = Qvad_InvOvGetRepoMachine(run.MachineDef, run.MachineCount, dir, value, sizeof value, error);
  } else if (std::strcmp(name, "OPERATION") == 0) {
    r = Qvad_InvOvGetRepoOperationType(args, value, sizeof value, error);
  } else if (std::strcmp(name, "HOST") == 0) {
    r = Qvad_InvOvGetRepoHost(args, dir, run.RepInfoPath, value, sizeof value, error);
  } else {
    QVAD_INV_ERR(1, "(ERROR)MacroNameNon(Repo) : Name = %s ", name);
    return -3;
  }
  if (r != 0) {
    QVAD_INV_ERR(1, "(ERROR)MacroName : Name = %s | Ret = %d | %s | %d | %d | %d", name, r, error->source, error->line,
                 error->local_code, static_cast<int>(error->system_code));
    return r;
  }
  char converted[1024] = {};
  const char *final_value = value;
  if (def.ConvFlag == 1) {
    if (Qvad_ConvSelect(def.Convert, value, converted, sizeof converted, error) != 1) {
      QVAD_INV_ERR(1, "(Error)Qvad_ConvSelect(InvOvGetRepo) : %s | %d | %d | %d", error->source, error->line,
                   error->local_code, static_cast<int>(error->system_code));
      return -3;
    }
    final_value = converted;
  }
  std::size_t len = std::strlen(final_value);
  if (len >= static_cast<std::size_t>(size)) {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvGetRepoSelect : Size Over = %d", static_cast<int>(len));
    return -3;
  }
  std::memcpy(out, final_value, len + 1);
  return 0;
}

int Qvad_InvOvGetRepoHost(const char *args, const char *dir, const char *repinfo_path, char *out, int size,
                          QVAD_ERROR_TBL *error) {
  MACRO_ARG *parsed = nullptr;
  int n = Qvad_GetArgData(&parsed, args, error);
  if (n < 1 || parsed == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  QvadMallocPtr<MACRO_ARG> hold(parsed);
  char site[1024] = {};
  QvadGetPrivateProfileString("General", "SiteName", "", site, sizeof site, repinfo_path);
  if (site[0] == '\0') {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  QvadResultFile f;
  int error_number = 0;
  if (!f.Open(std::string(dir) + parsed[0].Part[0] + ".csv", &error_number)) {
    QVAD_FILL_ERROR(error, 2, static_cast<std::uint32_t>(error_number));
    return -1;
  }
  REF_KEY key{};
  if (Qvad_MacroReference(parsed, &key, 1, error) == -1) return -3;
  const char *line = nullptr;
  int r = f.Next(&line, error);
  if (r == -1) return -1;
  if (r == 1) return 0;
  char column[1024] = {};
  if (Qvad_FieldSplit(line, ',', Qvad_LeadingInt32(parsed[0].Part[1]), column, sizeof column) != 1) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  int w = std::snprintf(out, static_cast<std::size_t>(size), "%s.%s", site, column);
  if (w < 0 || w >= size) {
    std::memset(out, 0, static_cast<std::size_t>(size));
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  return 0;
}

int Qvad_InvOvGetRepoMachine(const MACHINE_DEF *machines, int machine_count, const char *dir, char *out, int size,
                             QVAD_ERROR_TBL *error) {
  std::string result;
  for (int m = 0; m < machine_count; ++m) {
    const MACHINE_DEF &def = machines[m];
    if (def.Valid == 0) continue;
    QvadResultFile f;
    if (!f.Open(std::string(dir) + def.Acquire.Part[0] + ".csv", nullptr)) {
      QVAD_FILL_ERROR(error, 2, plat::kErrInvalidParameter);
      return -1;
    }
    REF_KEY key{};
    if (Qvad_FieldGetReference(def.CondCount, def.Cond, &key, error) == -1) return -3;
    bool matched = false;
    while (!matched) {
      const char *line = nullptr;
      if (f.Next(&line, error) != 0) break;
      if (def.CondCount > 0) {
        int a = Qvad_FieldGetAcqRef(&key, line, error);
        if (a == -1) break;
        if (a == 2) continue;
      }
      for (int c = 1; c < def.Acquire.Count && c < 10 && !matched; ++c) {
        char column[1024] = {};
        if (Qvad_FieldSplit(line, ',', Qvad_LeadingInt32(def.Acquire.Part[c]), column, sizeof column) == 1) {
          Qvad_StripQuotes(column);
          matched = std::strcmp(column, "1") == 0;
        }
      }
    }
    if (!matched) continue;
    if (!result.empty()) result += "/";
    result += def.Name;
    if (result.size() > 1024) {
      QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
      return -3;
    }
  }
  if (result.size() >= static_cast<std::size_t>(size)) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return -3;
  }
  std::memcpy(out, result.c_str(), result.size() + 1);
  return 0;
}
