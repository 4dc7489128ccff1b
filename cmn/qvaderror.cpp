// Filling the error record.
#include "cmn/qvaderror.h"

#include <cstring>

void Qvad_SetError(QVAD_ERROR_TBL *tbl, std::int32_t local_code, std::uint32_t system_code, std::int32_t line,
                   const char *source) {
  if (tbl == nullptr) return;
  tbl->local_code = local_code;
  tbl->system_code = system_code;
  tbl->line = line;
  std::memset(tbl->source, 0, sizeof tbl->source);
  if (source != nullptr) {
    std::size_t n = std::strlen(source);
    if (n > sizeof tbl->source - 1) {
      // Keep the end of an over-long path: the file name is what a reader needs.
      source += n - (sizeof tbl->source - 1);
      n = sizeof tbl->source - 1;
    }
    std::memcpy(tbl->source, source, n);
  }
}

void Qvad_ResetError(QVAD_ERROR_TBL *tbl) {
  if (tbl == nullptr) return;
  std::memset(tbl, 0, sizeof *tbl);
  std::memcpy(tbl->label, "QVAD_ERROR_TBL", sizeof "QVAD_ERROR_TBL");
}

void Qvad_FillError(QVAD_ERROR_TBL *tbl, std::int32_t local_code, std::uint32_t system_code, std::int32_t line,
                    const char *source) {
  if (tbl == nullptr) return;
  Qvad_ResetError(tbl);
  Qvad_SetError(tbl, local_code, system_code, line, source);
}
