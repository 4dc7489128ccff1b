// The caller-owned error record that every common operation fills when, and
// only when, it fails.
#pragma once
#include <cstdint>

extern "C" {

struct QVAD_ERROR_TBL {
  char label[16];             // "QVAD_ERROR_TBL"
  std::int32_t local_code;    // the operation's own code
  std::uint32_t system_code;  // last error, errno or a wait result
  std::int32_t line;          // source line that detected the failure
  char source[260];           // source file of the failing operation
};

// Stores the two codes, the line and the source file (cut to 259 characters
// if it is longer, so the record always holds a terminated text).
void Qvad_SetError(QVAD_ERROR_TBL *tbl, std::int32_t local_code, std::uint32_t system_code, std::int32_t line,
                   const char *source);

// Clears the record and writes its label: the reset an operation does
// before it starts, so a caller never reads a failure of an earlier call.
// A null record is ignored.
void Qvad_ResetError(QVAD_ERROR_TBL *tbl);

// The whole filling sequence: clear the record, copy the label, set the rest.
// A null record is ignored.
void Qvad_FillError(QVAD_ERROR_TBL *tbl, std::int32_t local_code, std::uint32_t system_code, std::int32_t line,
                    const char *source);
}

static_assert(sizeof(QVAD_ERROR_TBL) == 16 + 4 + 4 + 4 + 260, "QVAD_ERROR_TBL layout");

#define QVAD_FILL_ERROR(tbl, local, sys) Qvad_FillError((tbl), (local), (sys), __LINE__, __FILE__)
