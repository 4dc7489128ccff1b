// Field extraction, editing and macro operations the collection uses.
#pragma once
#include "cmn/qvadmiscinv/qvadinvctx.h"

int Qvad_GetFieldEdit(const INV_ITEM_DEF *def, const char *value, INV_FIELD *target, int size, QVAD_ERROR_TBL *err);
int Qvad_GetHwInvDB(const INV_ITEM_DEF *def, char *out, int size, const char *dir, QVAD_ERROR_TBL *err);
int Qvad_GetCurrentInvDB(const INV_ITEM_DEF *def, int r, char *out, int size, const char *dir, QVAD_ERROR_TBL *err);
int Qvad_MacroStructDiv(const char *text, char *name, int name_size, char *args, int args_size, QVAD_ERROR_TBL *err);
int Qvad_GetArgData(MACRO_ARG **args, const char *text, QVAD_ERROR_TBL *err);
int Qvad_MacroReference(const MACRO_ARG *args, REF_KEY *key, int a, QVAD_ERROR_TBL *err);
int Qvad_FieldGetReference(int count, const FIELD_COND *conds, REF_KEY *key, QVAD_ERROR_TBL *err);
int Qvad_FieldGetAcqRef(const REF_KEY *key, const char *line, QVAD_ERROR_TBL *err);
int Qvad_MacroHwSelect(const char *text, int conv_flag, const char *keyword, const char *dir, char *out, int size,
                       QVAD_ERROR_TBL *err);
int Qvad_GetTextInv(const INV_ITEM_DEF *defs, INV_FIELD *row, int count, const char *path, int line, long offset,
                    long *consumed, INI_ERROR_NODE **errors);
