// Readers of the switches that steer an inventory run: RazSetting.ini,
// the text flag of RazInv.ini, and the product edition's install type.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"

// Key that holds the product edition values read by the OPERATION macro.
inline constexpr const char kQvadEditionKey[] = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion";

// The most query processes a run keeps going at once.
inline constexpr int kQvadMaxQueryWorkers = 16;

// The time a query process may take when RazSetting.ini does not say, in
// seconds: far beyond any answer of a healthy warehouse, short enough that a
// query that never answers does not hold the run mutex for a working day.
inline constexpr int kQvadDefaultQueryTimeout = 900;
// The longest time a query may be given: a day.
inline constexpr int kQvadMaxQueryTimeout = 86400;

// "TextSetting" "flag" of RazInv.ini: 1 with 0 or 1 stored, or 0.
int Qvad_GetTextFlag(const char *razinv_path, int *flag, QVAD_ERROR_TBL *error);
// "Repository" "own" of RazSetting.ini: 1 with 0 (not delivered) or 1, or 0.
int Qvad_GetRepFlag(const char *razsetting_path, int *flag, QVAD_ERROR_TBL *error);
// "Inventory" "own" of RazSetting.ini: 1 with 0 or 1 stored, or 0.
int Qvad_GetOwnSetting(const char *razsetting_path, int *flag, QVAD_ERROR_TBL *error);
// "Inventory" "QueryWorkers" of RazSetting.ini: 1 with 1 when absent or
// with the number stored (1 to kQvadMaxQueryWorkers), or 0 (22) for any
// other value, *workers then 1.
int Qvad_GetQueryWorkers(const char *razsetting_path, int *workers, QVAD_ERROR_TBL *error);
// "Inventory" "QueryTimeout" of RazSetting.ini, seconds per query process:
// 1 with kQvadDefaultQueryTimeout when absent or with the number stored (0,
// no limit, to kQvadMaxQueryTimeout), or 0 (22) for any other value,
// *seconds then the default.
int Qvad_GetQueryTimeout(const char *razsetting_path, int *seconds, QVAD_ERROR_TBL *error);
// The install type of the named edition as decimal text: 0, or -3.
int Qvad_InvOvGetRepoOperationType(const char *edition, char *output, std::uint32_t size, QVAD_ERROR_TBL *error);
