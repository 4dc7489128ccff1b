// Error lists of the inventory engine: one entry per failing definition,
// appended at the tail, walked and freed by the caller that receives them.
#pragma once
#include <cstdint>

#include "cmn/qvadmiscinv/qvadinvctx.h"

// Appends an entry with the given codes (label left empty) and returns the
// list head; does nothing when no memory is left.
INI_ERROR_NODE *Qvad_IniErrorAdd(INI_ERROR_NODE **list, std::int32_t local_code, std::uint32_t system_code,
                                 std::int32_t ini_cnt, std::int32_t line, const char *source);

// Appends a copy of an error record for definition ini_cnt; returns the head.
INI_ERROR_NODE *Qvad_InvErrorAdd(INI_ERROR_NODE **list, std::int32_t ini_cnt, const QVAD_ERROR_TBL *error);

// Frees every entry and empties the list.
void Qvad_IniErrorFree(INI_ERROR_NODE **list);

#define QVAD_INI_ERROR_ADD(list, local, sys, cnt) Qvad_IniErrorAdd((list), (local), (sys), (cnt), __LINE__, __FILE__)
