// The macros of macro-call definitions: hardware macros computed from query
// result files, text macros computed from the lines of a text source, and
// the building of one text row.
#pragma once
#include <cstdint>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// Hardware macros: TIMEGET, TOTALSIZE, DRIVE, CPUNUM, CPUDETAIL, DISPLAY,
// COLOR. 0 with the value (converted when conv_flag is 1), -1 when a result
// file cannot be opened or read, -3 on other failures.
int Qvad_MacroHwSelect(const char *text, std::int32_t conv_flag, const char *convert, const char *dir, char *out,
                       int size, QVAD_ERROR_TBL *err);

// Text macros: TIMEGET, TEXT, FNAME, LINE. 0 with the value, 1 when TEXT
// finds no more line, -1 or -3 on failure. *consumed receives the bytes
// the line took in the file, line end included.
int Qvad_MacroTextSelect(const char *text, const char *path, std::int32_t line_no, std::int64_t offset,
                         std::int64_t *consumed, char *out, int size, QVAD_ERROR_TBL *err);

// One text row for line line_no at byte offset of the text source: 0 with
// the row, 1 at the end of the source, -1 after appending an error entry.
int Qvad_GetTextInv(const INV_ITEM_DEF *defs, INV_FIELD *row, std::int32_t count, const char *path,
                    std::int32_t line_no, std::int64_t offset, std::int64_t *consumed, INI_ERROR_NODE **errors);

// The single macros.
int Qvad_MacroTimeGet(char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroDiskTotalSize(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroDriveInfo(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroCpuTotal(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroFieldGet(const char *args, const char *dir, char *out, int size, const char *join, int required,
                       QVAD_ERROR_TBL *err);
int Qvad_MacroColorGet(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroGetText(const char *path, std::int64_t offset, std::int64_t *consumed, char *out, int size,
                      QVAD_ERROR_TBL *err);
int Qvad_MacroGetFileName(const char *path, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_MacroGetFileLine(std::int32_t line_no, char *out, int size, QVAD_ERROR_TBL *err);
