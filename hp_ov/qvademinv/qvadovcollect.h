// Collecting one node: its hardware row into the node's result file and its
// repository rows, one per network interface, into the run's repository file.
#pragma once
#include <cstdint>
#include <string>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// The hardware row of the node whose query results are in dir.
int Qvad_InvOvGetHard(const InvRunContext &run, const char *result_path, const char *dir);
// One repository row per interface (interfaces from the node's interface
// count query; 0 or less: none) into the run's repository file.
int Qvad_InvOvGetRepo(const InvRunContext &run, const char *dir, int interfaces);
// The cells of repository row interface_no: 1, or 0 when a cell failed.
int Qvad_InvOvGetRepoInv(const InvRunContext &run, INV_FIELD *row, int interface_no, const char *dir);
// A repository macro cell (HOST, OPERATION, MACHINEGET) with its conversion.
int Qvad_InvOvGetRepoSelect(const InvRunContext &run, const INV_ITEM_DEF &def, const char *dir, char *out, int size,
                            QVAD_ERROR_TBL *error);
int Qvad_InvOvGetRepoHost(const char *args, const char *dir, const char *repinfo_path, char *out, int size,
                          QVAD_ERROR_TBL *error);
int Qvad_InvOvGetRepoMachine(const MACHINE_DEF *machines, int machine_count, const char *dir, char *out, int size,
                             QVAD_ERROR_TBL *error);

// Where the run's repository file ended before a node's rows were appended.
struct QvadRepoMark {
  bool existed;
  std::uint64_t length;
};
// Taken before a node's rows; a file that is not as the run left it after
// the previous node (someone else wrote into it) marks it as not whole.
QvadRepoMark Qvad_InvRepoMark(InvRunContext &run);
// A node that failed leaves the repository file as it was before its rows
// (cut back, or removed when it had made the file). 0, or -1 when that is
// not possible: the run's file is then marked as not whole.
int Qvad_InvRepoTakeBack(InvRunContext &run, const QvadRepoMark &mark, const char *node);
// A node whose rows went in: the file's length is now the run's.
void Qvad_InvRepoKeep(InvRunContext &run);
// Whether the repository file may be delivered: no node's rows were left in
// it cut, and it ends at the end of a row. False with the reason in why.
bool Qvad_InvRepoWhole(InvRunContext &run, std::string *why);
