// Loading the inventory definition file RazInv.ini: the numbered entries of
// one inventory kind, the entries of one repository machine set, and the
// four tables an inventory run needs.
#pragma once
#include <cstdint>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// Loads kind k (kInvKind...) from the definition file. Returns the entry
// count with a table of that many entries (free it with free; it may be set
// even on -1), -1 without a file name or when an entry's setting key is missing,
// -2 when the table cannot be allocated. Errors of single entries disable
// the entry (Type 0) and are appended to *errors.
std::int32_t Qvad_IniFileSet(const char *file, int kind, INV_ITEM_DEF **table, INI_ERROR_NODE **errors);

// Loads machine set s (0 to 2) from the definition file. Returns the entry
// count with the table, -1 without a file name, -2 when the table cannot be
// allocated. Entries that cannot be used have Valid 0.
std::int32_t Qvad_IniMachineSet(const char *file, MACHINE_DEF **table, int set, INI_ERROR_NODE **errors);

// Loads the run's hardware, repository (kind 2 to 4), text and machine (set
// 0 to 2) tables from its RazInv.ini into the run context, tracing and
// reporting every entry's error. Returns 1 with all four, or 0 with none
// (the ones loaded before the failure are freed).
int Qvad_InvOvIniAnalysis(InvRunContext *run, int repo_kind, int machine_set);

// Internal steps, exposed for the engine's tests and fuzzing.
// Splits text at colons into ref (up to ten parts; a part that is missing
// or 64 characters or longer ends the list). 1, or 0 after an error for
// entry n when an eleventh part exists.
int Qvad_IniFieldSet(const char *text, FIELD_REF *ref, std::int32_t n, INI_ERROR_NODE **errors);
// Splits text at sep into ref's slots from start on, at most max fields; an
// empty part ends the list. 1, or 0 after an error when more fields follow.
int Qvad_IniMachineFieldSet(int start, int max, char sep, const char *text, FIELD_REF *ref, std::int32_t n,
                            INI_ERROR_NODE **errors);
// Parses a Type 3 value into entry n's field reference and conditions.
void Qvad_IniAcquireEdit(const char *value, INV_ITEM_DEF *def, std::int32_t n, INI_ERROR_NODE **errors);
// Parses a machine ID value into machine entry n.
void Qvad_IniMachineAcquireEdit(const char *value, MACHINE_DEF *def, std::int32_t n, INI_ERROR_NODE **errors);
