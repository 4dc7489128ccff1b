// Shorthands for the entries of an inventory run on the run context's two
// trace channels (error "QvAdnerl03", information "QvAdnerl04"), thread index 0.
#pragma once
#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "cmn/qvadtrace.h"

#define QVAD_INV_ERR(level, ...) \
  Qvad_TraceF(&Qvad_InvContext()->ErrTrace, 0, (level), __FILE__, __LINE__, 0, __VA_ARGS__)
#define QVAD_INV_INFO(level, ...) \
  Qvad_TraceF(&Qvad_InvContext()->InfoTrace, 0, (level), __FILE__, __LINE__, 0, __VA_ARGS__)
