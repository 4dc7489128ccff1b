// Text macros and text rows: one row per line of a text source, each cell
// a literal or the line itself, its file name, its number or the time.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "platform/error.h"

namespace {

// The value buffer of a text cell: a line is cut to 563 characters.
constexpr int kTextValue = 564;

// True when the definition is the TEXT macro, which reads the source line.
bool IsTextMacro(const INV_ITEM_DEF &def) {
  if (def.Type != 2) return false;
  char name[1024], args[1024];
  QVAD_ERROR_TBL err;
  return Qvad_MacroStructDiv(def.Text, name, sizeof name, args, sizeof args, &err) && std::strcmp(name, "TEXT") == 0;
}

}  // namespace

int Qvad_MacroGetText(const char *path, std::int64_t offset, std::int64_t *consumed, char *out, int size,
                      QVAD_ERROR_TBL *err) {
  if (consumed != nullptr) *consumed = 0;
  // Read as bytes, so the offset and the bytes a line takes are the same
  // numbers on both platforms, whatever line ends the file has.
  QvadFile file(std::fopen(path, "rb"));
  if (!file) {
    Qvad_SetError(err, 2, static_cast<std::uint32_t>(errno), __LINE__, __FILE__);
    return -1;
  }
  if (offset < 0 || offset > 0x7FFFFFFF || std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    Qvad_SetError(err, 2, static_cast<std::uint32_t>(offset < 0 ? EINVAL : errno), __LINE__, __FILE__);
    return -1;
  }
  char *raw = nullptr;
  int rc = Qvad_FieldGetMem(file.get(), &raw, err);
  if (rc != 0) return rc;
  QvadMallocPtr<char> line(raw);
  long end = std::ftell(file.get());
  if (end < 0) {
    Qvad_SetError(err, 3, static_cast<std::uint32_t>(errno), __LINE__, __FILE__);
    return -1;
  }
  if (consumed != nullptr) *consumed = end - offset;
  std::size_t keep = static_cast<std::size_t>((size < kTextValue ? size : kTextValue) - 1);
  std::size_t n = std::strlen(raw);
  if (n > keep) n = keep;
  std::memset(out, 0, static_cast<std::size_t>(size));
  std::memcpy(out, raw, n);
  return 0;
}

int Qvad_MacroGetFileName(const char *path, char *out, int size, QVAD_ERROR_TBL *err) {
  if (std::strlen(path) >= static_cast<std::size_t>(size)) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return -1;
  }
  std::strcpy(out, path);
  return 0;
}

int Qvad_MacroGetFileLine(std::int32_t line_no, char *out, int size, QVAD_ERROR_TBL *err) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", line_no);
  if (n < 0 || n >= size) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return -1;
  }
  std::memcpy(out, text, static_cast<std::size_t>(n) + 1);
  return 0;
}

int Qvad_MacroTextSelect(const char *text, const char *path, std::int32_t line_no, std::int64_t offset,
                         std::int64_t *consumed, char *out, int size, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  if (out != nullptr && size > 0) std::memset(out, 0, static_cast<std::size_t>(size));
  char name[1024], args[1024];
  if (out == nullptr || size <= 0 || !Qvad_MacroStructDiv(text, name, sizeof name, args, sizeof args, err)) return -1;
  if (std::strcmp(name, "TIMEGET") == 0) return Qvad_MacroTimeGet(out, size, err);
  if (std::strcmp(name, "TEXT") == 0) return Qvad_MacroGetText(path, offset, consumed, out, size, err);
  if (std::strcmp(name, "FNAME") == 0) return Qvad_MacroGetFileName(path, out, size, err);
  if (std::strcmp(name, "LINE") == 0) return Qvad_MacroGetFileLine(line_no, out, size, err);
  Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
  return -1;
}

int Qvad_GetTextInv(const INV_ITEM_DEF *defs, INV_FIELD *row, std::int32_t count, const char *path,
                    std::int32_t line_no, std::int64_t offset, std::int64_t *consumed, INI_ERROR_NODE **errors) {
  QVAD_ERROR_TBL err;
  char value[kTextValue];
  bool reads_line = false;
  for (std::int32_t i = 0; i < count; ++i) reads_line = reads_line || IsTextMacro(defs[i]);
  if (!reads_line) {
    // Without a TEXT cell nothing would move through the source and the
    // rows would never end: step over the line here, ending with the source.
    Qvad_ResetError(&err);
    int rc = Qvad_MacroGetText(path, offset, consumed, value, sizeof value, &err);
    if (rc == 1) return 1;
    if (rc != 0) {
      Qvad_InvErrorAdd(errors, 0, &err);
      return -1;
    }
  }
  for (std::int32_t i = 1; i <= count; ++i) {
    const INV_ITEM_DEF &def = defs[i - 1];
    std::memset(value, 0, sizeof value);
    Qvad_ResetError(&err);
    if (def.Type == 1) {
      std::snprintf(value, sizeof value, "%s", def.Text);
    } else if (def.Type == 2) {
      int rc = Qvad_MacroTextSelect(def.Text, path, line_no, offset, consumed, value, sizeof value, &err);
      if (rc == -1) {
        Qvad_InvErrorAdd(errors, i, &err);
        return -1;
      }
      if (rc == 1) return 1;
    } else {
      Qvad_SetError(&err, 22, kQvadBadInput, __LINE__, __FILE__);
      Qvad_InvErrorAdd(errors, i, &err);
      return -1;
    }
    if (!Qvad_GetFieldEdit(&def, value, &row[i - 1], 1024, &err)) {
      Qvad_InvErrorAdd(errors, i, &err);
      return -1;
    }
    row[i - 1].Length = static_cast<std::uint32_t>(std::strlen(row[i - 1].Value));
  }
  return 0;
}
