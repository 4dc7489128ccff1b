// The front library's three exports: they load the engine, bind it by name
// and forward the host's calls unchanged. The front library holds no
// inventory logic and takes no lock; runs are kept apart by the engine.
#include "export/qvadinv/qvadinv.h"

#include <cstring>

#include "cmn/qvadtrace.h"
#include "platform/sys.h"

namespace {

plat::Library g_engine = nullptr;
QVAD_EMPROC_TBL g_table = {nullptr, nullptr, nullptr};

void Unbind() {
  if (g_engine != nullptr) plat::FreeLibrary(g_engine);
  g_engine = nullptr;
  g_table = {nullptr, nullptr, nullptr};
}

// One entry on the error channel, opened and closed around it.
void TraceOnce(const char *text) {
  QVAD_TRACER channel;
  std::memset(&channel, 0, sizeof channel);
  Qvad_TraceOpen(&channel, 0, "QvAdnerl03");
  Qvad_TraceWrite(&channel, 0, 1, __FILE__, __LINE__, 2, static_cast<int>(std::strlen(text)), plat::ProcessId(), 0,
                  text);
  Qvad_TraceClose(&channel, 0);
}

}  // namespace

extern "C" std::int32_t Qvad_InvInit(void) {
  QVAD_TRACER channel;
  std::memset(&channel, 0, sizeof channel);
  Qvad_TraceOpen(&channel, 0, "QvAdnerl03");
  // A second Init without Close binds a fresh engine; the old one is released
  // without its close, so exactly one reference stays held.
  if (g_engine != nullptr) Unbind();
  QVAD_ERROR_TBL error;
  // The entries end in " ." as they always have: operators' searches match it.
  if (Qvad_LoadEmLibrary(&g_engine, &error) != 1) {
    Qvad_TraceF(&channel, 0, 1, __FILE__, __LINE__, 0, "Qvad_InvInit Error in Qvad_LoadEmLibrary : %d %d %d .",
                error.line, error.local_code, static_cast<int>(error.system_code));
    Qvad_TraceClose(&channel, 0);
    g_engine = nullptr;
    return -2;
  }
  if (Qvad_GetEmProcAddress(g_engine, &g_table, &error) != 1) {
    Qvad_TraceF(&channel, 0, 1, __FILE__, __LINE__, 0, "Qvad_InvInit Error in Qvad_GetEmProcAddress : %d %d %d .",
                error.line, error.local_code, static_cast<int>(error.system_code));
    Qvad_TraceClose(&channel, 0);
    Unbind();
    return -3;
  }
  Qvad_TraceClose(&channel, 0);
  return g_table.EmInvInit();
}

extern "C" std::int32_t Qvad_InvFile(INV_INFO *info) {
  if (info == nullptr) {
    TraceOnce("INV_INFO pointer is NULL.");
    return -1;
  }
  std::memset(info, 0, sizeof *info);
  if (g_table.EmInvFile == nullptr) {
    TraceOnce("Qvad_InvFile function pointer is NULL.");
    return -3;
  }
  return g_table.EmInvFile(info);
}

extern "C" std::int32_t Qvad_InvClose(void) {
  if (g_table.EmInvClose != nullptr) {
    g_table.EmInvClose();
    Unbind();
    return 0;
  }
  TraceOnce("Qvad_InvClose function pointer is NULL.");
  return 1;
}
