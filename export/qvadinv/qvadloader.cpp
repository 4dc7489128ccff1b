// Finding, loading and binding the inventory engine.
#include <cstdio>
#include <string>

#include "cmn/qvadinstall.h"
#include "export/qvadinv/qvadinv.h"
#include "platform/error.h"
#include "platform/sys.h"

int Qvad_LoadEmLibrary(plat::Library *module, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (module == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *module = nullptr;
  char install[260] = {};
  std::int32_t r = QvadGetInstallPathForDll(install, sizeof install);
  if (r != 0) {
    QVAD_FILL_ERROR(error, 22, static_cast<std::uint32_t>(r));
    return 0;
  }
  char path[260] = {};
  int n =
      std::snprintf(path, sizeof path, "%s%s%s", install, plat::kBinPiece, plat::LibraryFileName("qvademinv").c_str());
  // A path that does not fit would load some other, cut-off file name.
  if (n < 0 || n >= static_cast<int>(sizeof path)) {
    QVAD_FILL_ERROR(error, 22, static_cast<std::uint32_t>(kQvadPathTooLong));
    return 0;
  }
  *module = plat::LoadLibraryByPath(path);
  if (*module == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::LastError());
    return 0;
  }
  return 1;
}

int Qvad_GetEmProcAddress(plat::Library module, QVAD_EMPROC_TBL *table, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (module == nullptr || table == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  table->EmInvInit = reinterpret_cast<QVAD_EMINVINIT>(plat::LibrarySymbol(module, "Qvad_EmInvInit"));
  table->EmInvFile = reinterpret_cast<QVAD_EMINVFILE>(plat::LibrarySymbol(module, "Qvad_EmInvFile"));
  table->EmInvClose = reinterpret_cast<QVAD_EMINVCLOSE>(plat::LibrarySymbol(module, "Qvad_EmInvClose"));
  if (table->EmInvInit == nullptr || table->EmInvFile == nullptr || table->EmInvClose == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::LastError());
    return 0;
  }
  return 1;
}
