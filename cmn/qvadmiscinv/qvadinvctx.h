// The inventory engine's records and its run context: the definition tables
// loaded from RazInv.ini, result cells, macro arguments, line filters, and
// the one run context that lives from Init to Close.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"
#include "cmn/qvadtrace.h"
#include "platform/job.h"
#include "platform/mutex.h"

extern "C" {

// One colon-separated list of a definition: a result file stem and column
// numbers, or one side of a condition.
struct FIELD_REF {
  std::int32_t Count;  // parts stored, 0 to 10
  char Part[10][64];   // each at most 63 characters
};

// One condition "<left>=<right>" of a definition.
struct FIELD_COND {
  FIELD_REF Left;
  FIELD_REF Right;
};

// One numbered entry of an inventory kind: one cell of that kind's rows.
struct INV_ITEM_DEF {
  std::int32_t Type;  // 1 literal, 2 macro, 3 warehouse field, else nothing (0: disabled)
  std::int32_t Width;
  std::int32_t Quote;
  std::int32_t SepFlag;
  std::int32_t ConvFlag;
  char Separator[8];  // the join character and NUL
  char Convert[32];   // conversion keyword
  char Text[512];     // literal or macro call of Type 1 or 2
  FIELD_REF Acquire;  // Type 3: stem and column
  std::int32_t CondCount;
  FIELD_COND Cond[10];
};

// One repository machine entry.
struct MACHINE_DEF {
  std::int32_t Valid;  // 1 when name and ID were read without error
  char Name[64];
  FIELD_REF Acquire;  // Part[0] the stem, Part[1..] the columns
  std::int32_t CondCount;
  FIELD_COND Cond[10];
};

// One error of a load or of a row; a singly linked list, appended at its tail.
struct INI_ERROR_NODE {
  std::int32_t IniCnt;  // entry number; 0 for the whole kind or set
  QVAD_ERROR_TBL Error;
  INI_ERROR_NODE *Next;
};

// One result cell.
struct INV_FIELD {
  char Value[1024];
  std::uint32_t Length;  // set by the caller to the length of Value
};

// One argument "<stem>:<column>[=<value>]" of a macro call.
struct MACRO_ARG {
  std::int32_t Count;  // parts, 0 to 10
  char Part[10][256];
  char Value[256];  // text after the first "=", empty when there is none
};

// The line filter in force while a result file is scanned.
struct REF_KEY {
  char Column[8];  // column number as text
  char Value[64];  // the text that column must hold
};

}  // extern "C"

static_assert(sizeof(FIELD_REF) == 4 + 640, "FIELD_REF layout");
static_assert(sizeof(INV_ITEM_DEF) == 5 * 4 + 8 + 32 + 512 + sizeof(FIELD_REF) + 4 + 10 * sizeof(FIELD_COND),
              "INV_ITEM_DEF layout");
static_assert(sizeof(INV_FIELD) == 1028, "INV_FIELD layout");
static_assert(sizeof(MACRO_ARG) == 4 + 2560 + 256, "MACRO_ARG layout");
static_assert(sizeof(REF_KEY) == 72, "REF_KEY layout");

// Entries of the node lists and of the query table; their owners define them.
struct NodeEntry;
struct QueryTableEntry;
class QvadQueryAhead;

// Definition kinds of RazInv.ini and the repository machine sets.
inline constexpr int kInvKindHardware = 0;
inline constexpr int kInvKindSoftware = 1;
inline constexpr int kInvKindRepository = 2;
inline constexpr int kInvKindSingleRep = 3;
inline constexpr int kInvKindMultiRep = 4;
inline constexpr int kInvKindText = 5;

// The engine's state for one run, from Init to Close.
struct InvRunContext {
  char InstallDir[260];
  char RazInvPath[260];
  char RepInfoPath[260];
  char NodeCsvPath[260];
  char RepositoryCsvPath[260];
  char LastResultPath[260];
  INV_ITEM_DEF *HwDef;
  std::int32_t HwCount;
  INV_ITEM_DEF *RepoDef;
  std::int32_t RepoCount;
  INV_ITEM_DEF *TextDef;
  std::int32_t TextCount;
  MACHINE_DEF *MachineDef;
  std::int32_t MachineCount;
  NodeEntry *NodeList;
  NodeEntry *NodeCursor;
  NodeEntry *RemovedNodeList;
  NodeEntry *RemovedCursor;
  QueryTableEntry *QueryTable;
  std::int32_t OwnNodeFirst;
  plat::RunMutexHandle Mutex;
  char QueryOutPath[260];
  QVAD_TRACER ErrTrace;   // "QvAdnerl03"
  QVAD_TRACER InfoTrace;  // "QvAdnerl04"
  // Japanese-mode switch of the field editor, read once per run
  // (Qvad_InvReadLanguage at Init, or at the first edit), not once per cell.
  std::int32_t LanguageRead;
  std::int32_t JapaneseMode;
  // File has returned 1: the repository file went out once, and later
  // calls only say again that no node is left.
  std::int32_t RunEnded;
  // Repository.csv holds rows of a failed node that could not be taken
  // back, or was changed by someone else: it is not whole and is not
  // delivered. RepositoryLength is its length after the last node whose
  // rows went in, as the run left it.
  std::int32_t RepositoryNotWhole;
  std::uint64_t RepositoryLength;
  // This run's node list until Init has succeeded (var/node.new).
  char NewNodeCsvPath[260];
  // What Init read once for the whole run: the settings file, the query
  // tool (empty when not found), the interface queries of RazInv.ini, the
  // text switch with the error of its read, and how many query processes
  // run at once.
  char RazSettingPath[260];
  char QueryToolPath[260];
  char InterfaceQuery[1024];
  char InterfaceTable[64];
  // 1 when InterfaceTable is a key of [Table]: otherwise no definition's
  // table is the per-interface one, and every interface row would repeat
  // the first interface's values.
  std::int32_t InterfaceTableKnown;
  std::int32_t TextFlagRead;  // 1 read, 0 failed (TextFlagError says why)
  std::int32_t TextFlag;
  QVAD_ERROR_TBL TextFlagError;
  std::int32_t QueryWorkers;
  // The queries of the next nodes running ahead of File (QueryWorkers > 1).
  QvadQueryAhead *Ahead;
  // Seconds a query process may take (0: no limit).
  std::int32_t QueryTimeout;
  // The run's child processes: they end with Close and with the host.
  plat::JobObject *Job;
  // <install>/var/children: the records of the run's children (POSIX).
  char ChildRecordDir[260];
};

inline constexpr const char kInvErrChannel[] = "QvAdnerl03";
inline constexpr const char kInvInfoChannel[] = "QvAdnerl04";

// The one run context of the engine.
InvRunContext *Qvad_InvContext();
