// Loading the four definition tables an inventory run needs, with a trace
// line and an event for every entry that had to be disabled.
#include <cstdio>
#include <cstdlib>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "platform/sys.h"

namespace {

// Traces and reports every entry of the list, frees it, and keeps the entry
// number of its first entry as the last error number.
void ReportList(INI_ERROR_NODE **list, const char *what, const char *event_name, char *last_error, std::size_t size) {
  InvRunContext *ctx = Qvad_InvContext();
  bool first = true;
  for (INI_ERROR_NODE *e = *list; e != nullptr; e = e->Next) {
    Qvad_TraceF(&ctx->ErrTrace, static_cast<int>(plat::ThreadNumber()), 1, __FILE__, __LINE__, 0,
                "(Error)%s : IniCnt = %d | %s | %d | %d | %d", what, e->IniCnt, e->Error.source, e->Error.line,
                e->Error.local_code, static_cast<int>(e->Error.system_code));
    char number[16];
    std::snprintf(number, sizeof number, "%d", e->IniCnt);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_DEFINITION_SKIPPED, event_name, number, nullptr);
    if (first) std::snprintf(last_error, size, "%d", e->IniCnt);
    first = false;
  }
  Qvad_IniErrorFree(list);
}

template <typename T>
void FreeTable(T **table) {
  std::free(*table);
  *table = nullptr;
}

}  // namespace

int Qvad_InvOvIniAnalysis(InvRunContext *run, int repo_kind, int machine_set) {
  const char *file = run->RazInvPath;
  char last_error[16] = {};
  INI_ERROR_NODE *errors = nullptr;
  INV_ITEM_DEF *hw_table = nullptr, *repo_table = nullptr, *text_table = nullptr;
  MACHINE_DEF *machine_table = nullptr;
  const char *failed = nullptr;

  std::int32_t hw_n = Qvad_IniFileSet(file, kInvKindHardware, &hw_table, &errors);
  ReportList(&errors, "Qvad_IniFileSet(HW)", "Hard", last_error, sizeof last_error);
  std::int32_t repo_n = -1, text_n = -1, machine_n = -1;
  if (hw_n < 0) {
    failed = "Hard";
  } else if (repo_kind < kInvKindRepository || repo_kind > kInvKindMultiRep) {
    failed = "Repo";
  } else {
    repo_n = Qvad_IniFileSet(file, repo_kind, &repo_table, &errors);
    ReportList(&errors, "Qvad_IniFileSet(Repo)", "Repo", last_error, sizeof last_error);
    if (repo_n < 0) {
      failed = "Repo";
    } else {
      text_n = Qvad_IniFileSet(file, kInvKindText, &text_table, &errors);
      ReportList(&errors, "Qvad_IniFileSet(Text)", "Text", last_error, sizeof last_error);
      if (text_n < 0) {
        failed = "Text";
      } else {
        machine_n = Qvad_IniMachineSet(file, &machine_table, machine_set, &errors);
        ReportList(&errors, "Qvad_IniMachineSet", "Machine", last_error, sizeof last_error);
        if (machine_n < 0) failed = "Machine";
      }
    }
  }
  if (failed != nullptr) {
    // A failed load may still have handed over its table: nothing is kept.
    FreeTable(&hw_table);
    FreeTable(&repo_table);
    FreeTable(&text_table);
    FreeTable(&machine_table);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_DEFINITION_LOAD_FAILED, failed, last_error, nullptr);
    return 0;
  }
  run->HwDef = hw_table;
  run->HwCount = hw_n;
  run->RepoDef = repo_table;
  run->RepoCount = repo_n;
  run->TextDef = text_table;
  run->TextCount = text_n;
  run->MachineDef = machine_table;
  run->MachineCount = machine_n;
  return 1;
}
