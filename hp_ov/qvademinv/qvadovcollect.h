// Collecting one node: its hardware row into the node's result file and its
// repository rows, one per network interface, into the run's repository file.
#pragma once
#include "cmn/qvadmiscinv/qvadinvctx.h"

int Qvad_InvOvGetHard(const INV_ITEM_DEF *defs, const char *install_dir, const char *result_path, int count,
                      const char *dir);
int Qvad_InvOvGetRepo(const INV_ITEM_DEF *defs, const MACHINE_DEF *machines, const char *install_dir,
                      const char *repository_path, int count, int machine_count, const char *node, const char *dir,
                      const char *repinfo_path, const char *stdout_path);
int Qvad_InvOvGetRepoInv(const INV_ITEM_DEF *defs, const MACHINE_DEF *machines, INV_FIELD *row, int count,
                         int machine_count, int interface_no, const char *dir, const char *repinfo_path,
                         const char *if_table);
int Qvad_InvOvGetRepoSelect(const char *text, int conv_flag, const char *keyword, const char *dir, char *out, int size,
                            const MACHINE_DEF *machines, int machine_count, const char *repinfo_path,
                            QVAD_ERROR_TBL *error);
int Qvad_InvOvGetRepoHost(const char *args, const char *dir, const char *repinfo_path, char *out, int size,
                          QVAD_ERROR_TBL *error);
int Qvad_InvOvGetRepoMachine(const MACHINE_DEF *machines, int machine_count, const char *dir, char *out, int size,
                             QVAD_ERROR_TBL *error);
