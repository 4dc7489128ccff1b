// Rows of the result files. A row is count cells of up to 1023 characters,
// allocated per row and freed after writing; a text source is streamed line
// by line, so a large query result never sits in memory whole.
#include "cmn/qvadmiscinv/qvadcollect.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "platform/error.h"

INV_FIELD *Qvad_GetInvData(int count, QVAD_ERROR_TBL *error) {
  // A kind with no entries still writes its (empty) row, so one cell is
  // always allocated.
  auto *row = static_cast<INV_FIELD *>(std::calloc(count > 0 ? static_cast<std::size_t>(count) : 1, sizeof(INV_FIELD)));
  if (row == nullptr) QVAD_FILL_ERROR(error, 12, static_cast<std::uint32_t>(errno));
  return row;
}

int Qvad_CreateRetFile(INV_FIELD *row, int count, const char *path, int truncate, QVAD_ERROR_TBL *error) {
  long length = 0;
  for (int i = 0; i < count; ++i) {
    INV_FIELD &cell = row[i];
    cell.Value[sizeof cell.Value - 1] = '\0';
    if (truncate == 1 && std::strlen(cell.Value) > kQvadCutCell) {
      bool quoted = cell.Value[0] == '"';
      std::memset(cell.Value, 0, sizeof cell.Value);
      if (quoted) std::memcpy(cell.Value, "\"\"", 2);
    }
    cell.Length = static_cast<std::uint32_t>(std::strlen(cell.Value));
    length += cell.Length + (i + 1 < count ? 1 : 0);
  }
  if (length > kQvadRowLimit) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return static_cast<int>(length);
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(length) + 1);
  for (int i = 0; i < count; ++i) {
    text += row[i].Value;
    text += i + 1 < count ? ',' : '\n';
  }
  std::FILE *f = std::fopen(path, "a");
  if (f == nullptr) {
    QVAD_FILL_ERROR(error, 2, static_cast<std::uint32_t>(errno));
    return -1;
  }
  // The row goes out as one write, and the write, the flush and the close
  // are each checked: a full disk is a failure of this row, never a row that
  // silently ends half-way. What a failed write left in the file is the
  // caller's to take back.
  errno = 0;
  bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  written = std::fflush(f) == 0 && written;
  int cause = errno;
  if (std::fclose(f) != 0 && written) {
    written = false;
    cause = errno;
  }
  if (!written) {
    QVAD_FILL_ERROR(error, 2, static_cast<std::uint32_t>(cause != 0 ? cause : EIO));
    return -1;
  }
  return static_cast<int>(length);
}

int Qvad_WriteRetRow(INV_FIELD *row, int count, const char *path, const char *what) {
  QVAD_ERROR_TBL error;
  Qvad_ResetError(&error);
  int r = Qvad_CreateRetFile(row, count, path, 0, &error);
  if (r > kQvadRowLimit) {
    QVAD_INV_ERR(1, "(Warning)Qvad_CreateRetFile 80000ByteOver(%s)", what);
    Qvad_ResetError(&error);
    r = Qvad_CreateRetFile(row, count, path, 1, &error);
  }
  // A row still too long after the cut is not written: that is a failure of
  // the row (22/87), never a success that leaves a missing or short file.
  if (r == -1 || r > kQvadRowLimit) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateRetFile(%s) : %s | %d | %d | %d", what, error.source, error.line,
                 error.local_code, static_cast<int>(error.system_code));
    Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, QVAD_MSG_RESULT_FILE_FAILED, nullptr);
    return -1;
  }
  return 0;
}

int Qvad_GetHwInv(const INV_ITEM_DEF *defs, INV_FIELD *row, int count, const char *dir, INI_ERROR_NODE **errors) {
  // The node's result files do not change while its row is gathered, and a
  // row reads the same few files for every definition: read each once.
  QvadResultCacheScope once_per_row;
  for (int i = 0; i < count; ++i) {
    const INV_ITEM_DEF &d = defs[i];
    char value[1024] = {};
    QVAD_ERROR_TBL error;
    Qvad_ResetError(&error);
    int r = 0;
    switch (d.Type) {
      case 1: std::snprintf(value, sizeof value, "%s", d.Text); break;
      case 2: r = Qvad_MacroHwSelect(d.Text, d.ConvFlag, d.Convert, dir, value, sizeof value, &error); break;
      case 3: r = Qvad_GetHwInvDB(&d, value, sizeof value, dir, &error); break;
      case 0: break;
      default:
        QVAD_FILL_ERROR(&error, 22, plat::kErrInvalidParameter);
        r = -3;
        break;
    }
    if (r != 0) {
      Qvad_InvErrorAdd(errors, i + 1, &error);
      if (r == -1) return 0;
      value[0] = '\0';
    }
    Qvad_ResetError(&error);
    if (Qvad_GetFieldEdit(&d, value, &row[i], 1024, &error) != 1) {
      QVAD_FILL_ERROR(&error, 22, plat::kErrInvalidParameter);
      Qvad_InvErrorAdd(errors, i + 1, &error);
    }
    row[i].Value[sizeof row[i].Value - 1] = '\0';
    row[i].Length = static_cast<std::uint32_t>(std::strlen(row[i].Value));
  }
  return 1;
}

int Qvad_CreateTextInv(const INV_ITEM_DEF *defs, int count, const char *source, const char *path,
                       INI_ERROR_NODE **errors) {
  QVAD_ERROR_TBL error;
  Qvad_ResetError(&error);
  INV_FIELD *row = Qvad_GetInvData(count, &error);
  if (row == nullptr) {
    Qvad_InvErrorAdd(errors, 0, &error);
    return 0;
  }
  QvadMallocPtr<INV_FIELD> hold(row);
  std::int64_t offset = 0;
  for (int line = 1;; ++line) {
    std::memset(row, 0, sizeof(INV_FIELD) * static_cast<std::size_t>(count > 0 ? count : 1));
    Qvad_ResetError(&error);
    std::int64_t consumed = 0;
    int r = Qvad_GetTextInv(defs, row, count, source, line, offset, &consumed, errors);
    if (r == 1) return 1;
    if (r == -1) return 0;
    // A set without a TEXT entry reads no line and never reaches the end of
    // its source: one row is all it can give.
    if (consumed <= 0) {
      if (Qvad_CreateRetFile(row, count, path, 0, &error) == -1) {
        Qvad_InvErrorAdd(errors, line, &error);
        return 0;
      }
      return 1;
    }
    if (Qvad_CreateRetFile(row, count, path, 0, &error) == -1) {
      Qvad_InvErrorAdd(errors, line, &error);
      return 0;
    }
    offset += consumed;
  }
}
