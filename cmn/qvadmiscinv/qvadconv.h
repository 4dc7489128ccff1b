// Value conversions that a definition entry names by keyword: sizes,
// rounding, separators, prefixes and letter case of collected values.
#pragma once
#include "cmn/qvaderror.h"

// Runs the conversion named by keyword (case matters). Resets the record and
// clears the output first. Returns 1 with the value, or 0 (22/87 for an
// unknown keyword or a value that does not fit).
int Qvad_ConvSelect(const char *keyword, const char *in, char *out, int size, QVAD_ERROR_TBL *err);

// The single conversions; each returns 1 or 0 with the record filled.
// The number conversions round halves away from zero on every platform.
int Qvad_ConvDoubleToInt(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvByteToKByte(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvMByteToByte(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvRemove(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvRemoveYen(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvSeparator(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
int Qvad_ConvRemoveHex(const char *in, char *out, int size, QVAD_ERROR_TBL *err);
