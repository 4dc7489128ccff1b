// The engine's single run context.
#include "cmn/qvadmiscinv/qvadinvctx.h"

namespace {
InvRunContext g_context{};
}

InvRunContext *Qvad_InvContext() { return &g_context; }
