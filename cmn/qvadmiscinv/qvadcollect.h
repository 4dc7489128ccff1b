// Gathering result rows and writing them to the result files: one hardware
// row per node, text rows per line of each query result, and the rule that
// keeps a written row within 80000 bytes.
#pragma once
#include <cstdint>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// Longest row written, commas counted, line end not.
inline constexpr int kQvadRowLimit = 80000;
// Cells longer than this are emptied when a row over the limit is written again.
inline constexpr std::uint32_t kQvadCutCell = 400;

// A zeroed row of count cells (free with free), or null (12, errno).
INV_FIELD *Qvad_GetInvData(int count, QVAD_ERROR_TBL *error);
// Appends the row: its length, the length without writing when over the
// limit (22/87), or -1 (2, errno).
int Qvad_CreateRetFile(INV_FIELD *row, int count, const char *path, int truncate, QVAD_ERROR_TBL *error);
// Writes with the 80000-byte rule; what names the row kind in messages ("HW", "Repo").
// 0 written or skipped as too long, -1 on a write failure (traced and reported).
int Qvad_WriteRetRow(INV_FIELD *row, int count, const char *path, const char *what);
// Fills the hardware row: 1, or 0 when a field operation ended with -1.
int Qvad_GetHwInv(const INV_ITEM_DEF *defs, INV_FIELD *row, int count, const char *dir, INI_ERROR_NODE **errors);
// Appends text rows for every line of the query result: 1, or 0.
int Qvad_CreateTextInv(const INV_ITEM_DEF *defs, int count, const char *source, const char *path,
                       INI_ERROR_NODE **errors);
