// The monitored nodes of a run: the node list file the warehouse query
// writes, its backup from the previous run, and the lists read from them.
#pragma once
#include <cstddef>

#include "cmn/qvaderror.h"

struct NodeEntry {
  NodeEntry *next;
  char NodeName[129];
  char NodeAttr[40];
  // The name (over 128 characters) or the attribute (over 39) did not fit:
  // the fields hold their beginnings, and the run refuses this node alone.
  bool TooLong;
};

void Qvad_FreeNodeList(NodeEntry *head);

// Deletes the backup and renames the current list to it: 1, or 0 (2, errno).
int Qvad_CreateNodeBak(const char *current_path, const char *backup_path, QVAD_ERROR_TBL *error);
// A line whose name or attribute does not fit its field gives an entry
// marked TooLong rather than failing the whole list.
// Reads the list with the entries of this computer's host name first: 1
// with the list, or 0 with none.
int Qvad_GetNodeInfoEx(NodeEntry **head, const char *path, QVAD_ERROR_TBL *error);
// Reads the list in file order: 1 with the list, or 0.
int Qvad_GetNodeInfo(NodeEntry **head, const char *path, QVAD_ERROR_TBL *error);
// The entries of the backup whose names are not in the current list: 1 with
// the list (possibly empty), or 0. Entries marked TooLong were never handed
// to the host and are left out.
int Qvad_GetRmNodeInfo(NodeEntry **head, const char *backup_path, const NodeEntry *current, QVAD_ERROR_TBL *error);
// This computer's network host name: 1, or 0 with an empty buffer.
int Qvad_GetHostName(char *buffer, std::size_t size, QVAD_ERROR_TBL *error);
// The short name of a node: its name up to the first dot (quote-aware).
bool Qvad_NodeShortName(const char *name, char *out, int size);
