// The query table of a run: one data-warehouse query per key of the
// definition file's "Table" section, run for every node.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"

struct QueryTableEntry {
  char key[8];       // names the result file <key>.csv; at most 7 characters
  char query[1024];  // template: %s is the node name, %% one percent sign
  QueryTableEntry *next;
};

// Reads the section's keys in order: 1 with the list, or 0 (22/87 for null
// arguments, an empty section or a key too long for an entry; 12 out of memory).
int Qvad_GetQueryTbl(QueryTableEntry **head, const char *ini_path, const char *section, QVAD_ERROR_TBL *error);
void Qvad_FreeQueryTbl(QueryTableEntry *head);
// Whether two table names are the same key: keys name result files, which
// Windows matches without regard to ASCII letter case (and so does the
// engine on POSIX).
bool Qvad_SameTableKey(const char *a, const char *b);
// Whether the name is one of the list's keys, in that sense.
bool Qvad_QueryTblHasKey(const QueryTableEntry *head, const char *name);

// Puts the node name into a query template: %s becomes the name and %% one
// percent sign. Any other conversion, or a result that does not fit, is
// refused (false): a template is never handed to a formatting function.
bool Qvad_FormatQuery(const char *query_template, const char *node, char *out, std::uint32_t size);
