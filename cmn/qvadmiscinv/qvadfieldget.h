// Picking values out of query result files: line filters, the gatherers of a
// warehouse-field definition, macro-call parsing, and the editing that turns
// a collected value into a result cell.
#pragma once
#include <cstdint>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// Line filters. Qvad_FieldGetReference: 4 no condition, 3 with the filter of
// the last condition, -1 when it cannot be held. Qvad_MacroReference: the
// same for argument a (from 1) of a macro call. Qvad_FieldGetAcqRef: 0 the
// line passes, 2 it does not, -1 the column is missing.
int Qvad_FieldGetReference(std::int32_t cond_count, const FIELD_COND *conds, REF_KEY *key, QVAD_ERROR_TBL *err);
int Qvad_MacroReference(const MACRO_ARG *args, REF_KEY *key, int a, QVAD_ERROR_TBL *err);
int Qvad_FieldGetAcqRef(const REF_KEY *key, const char *line, QVAD_ERROR_TBL *err);

// Appends the column named by ref->Part[i] of the line (quotes removed) to
// out: 3 appended, 4 empty, -1 missing column or no room.
int Qvad_FieldGetAcqDataSet(const FIELD_REF *ref, const char *line, int i, char *out, int size, QVAD_ERROR_TBL *err);
// Appends the entry's separator to a non-empty accumulated value: 1 the entry
// takes one value only, 0 gathering goes on, -1 no room.
int Qvad_FieldGetSeparator(const INV_ITEM_DEF *def, char *acc, int size, QVAD_ERROR_TBL *err);

// A Type 3 entry's value from <dir><stem>.csv: the first non-empty value of
// the lines that pass its filter, or all of them joined by its separator.
// 0 with the value, -1 file not readable, -3 other failures (also joined
// values that would not fit 1023 bytes).
int Qvad_GetHwInvDB(const INV_ITEM_DEF *def, char *out, int size, const char *dir, QVAD_ERROR_TBL *err);
// The same from line r only; -3 when line r gives nothing.
int Qvad_GetCurrentInvDB(const INV_ITEM_DEF *def, std::int32_t r, char *out, int size, const char *dir,
                         QVAD_ERROR_TBL *err);

// Macro calls "NAME(arguments)": 1 with name and argument text, 0 too long.
int Qvad_MacroStructDiv(const char *text, char *name, int name_size, char *args, int args_size, QVAD_ERROR_TBL *err);
// Parses comma-separated arguments into a new array (free it with free):
// the count, or -1.
int Qvad_GetArgData(MACRO_ARG **out, const char *args, QVAD_ERROR_TBL *err);
// Parses one argument "<part>:<part>...[=<value>]": 1, or 0.
int Qvad_GetArgField(MACRO_ARG *target, const char *arg, QVAD_ERROR_TBL *err);

// Edits a value into a cell: quotes doubled, apostrophes replaced, half-width
// katakana widened in Japanese mode, fixed width, enclosing quotes. 1, or 0.
int Qvad_GetFieldEdit(const INV_ITEM_DEF *def, const char *value, INV_FIELD *cell, int size, QVAD_ERROR_TBL *err);

// Reads the Japanese-mode switch for this run into the run context and
// returns it (1 on). A missing setting means not Japanese, traced once.
// The engine calls it at Init; the editor calls it when Init has not.
int Qvad_InvReadLanguage();

// Widens half-width katakana of Shift_JIS text into out (size bytes): true,
// or false when the result would not fit with its NUL.
bool Qvad_WidenKatakana(const char *in, char *out, std::size_t size);
