// Line filters and the two gatherers of warehouse-field definitions.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvadconv.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "cmn/qvadnumber.h"
#include "platform/error.h"

namespace {

using Line = QvadMallocPtr<char>;

// Fills the filter; a column or value the filter cannot hold is refused.
int SetKey(const char *column, const char *quoted_value, REF_KEY *key, QVAD_ERROR_TBL *err) {
  char *value = nullptr;
  if (!Qvad_DupStripQuotes(quoted_value, &value)) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  Line owned(value);
  if (!Qvad_CopyFits(key->Column, sizeof key->Column, column) || !Qvad_CopyFits(key->Value, sizeof key->Value, value)) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  return 3;
}

bool OpenResult(QvadResultFile &file, const char *dir, const char *stem, int *error_number) {
  return file.Open(std::string(dir) + stem + ".csv", error_number);
}

}  // namespace

int Qvad_FieldGetReference(std::int32_t cond_count, const FIELD_COND *conds, REF_KEY *key, QVAD_ERROR_TBL *err) {
  if (cond_count <= 0) return 4;
  // Only the last condition filters.
  const FIELD_COND &last = conds[cond_count > 10 ? 9 : cond_count - 1];
  return SetKey(last.Left.Part[1], last.Right.Part[0], key, err);
}

int Qvad_MacroReference(const MACRO_ARG *args, REF_KEY *key, int a, QVAD_ERROR_TBL *err) {
  if (a < 1) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  const MACRO_ARG &arg = args[a - 1];
  if (arg.Value[0] == '\0') return 4;
  return SetKey(arg.Part[1], arg.Value, key, err);
}

int Qvad_FieldGetAcqRef(const REF_KEY *key, const char *line, QVAD_ERROR_TBL *err) {
  // Compared where it lies: this runs for every line of a filtered scan.
  const char *field = nullptr;
  std::size_t len = 0;
  if (!Qvad_FieldFind(line, ',', Qvad_LeadingInt32(key->Column), &field, &len) || len >= 1024) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  if (len >= 2 && field[0] == '"' && field[len - 1] == '"') {
    ++field;
    len -= 2;
  }
  if (len >= sizeof key->Value) return 2;
  for (std::size_t i = 0; i < len; ++i)
    if (key->Value[i] != field[i] || field[i] == '\0') return 2;
  return key->Value[len] == '\0' ? 0 : 2;
}

int Qvad_FieldGetAcqDataSet(const FIELD_REF *ref, const char *line, int i, char *out, int size, QVAD_ERROR_TBL *err) {
  char field[1024];
  if (i < 0 || i > 9 || Qvad_FieldSplit(line, ',', Qvad_LeadingInt32(ref->Part[i]), field, sizeof field) != 1) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  Qvad_StripQuotes(field);
  if (field[0] == '\0') return 4;
  std::size_t have = std::strlen(out), add = std::strlen(field);
  if (have + add >= static_cast<std::size_t>(size)) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  std::memcpy(out + have, field, add + 1);
  return 3;
}

int Qvad_FieldGetSeparator(const INV_ITEM_DEF *def, char *acc, int size, QVAD_ERROR_TBL *err) {
  if (def->SepFlag != 1) return 1;
  if (acc[0] == '\0') return 0;
  std::size_t have = std::strlen(acc), add = strnlen(def->Separator, sizeof def->Separator - 1);
  if (have + add >= static_cast<std::size_t>(size)) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  std::memcpy(acc + have, def->Separator, add);
  acc[have + add] = '\0';
  return 0;
}

namespace {

// One line's value for an entry: 3 with a value, 4 nothing, -3 failure.
int LineValue(const INV_ITEM_DEF *def, const char *line, char *value, QVAD_ERROR_TBL *err) {
  std::memset(value, 0, 1024);
  int rc = Qvad_FieldGetAcqDataSet(&def->Acquire, line, 1, value, 1024, err);
  if (rc == -1) return -3;
  if (rc == 4) return 4;
  if (def->ConvFlag == 1) {
    char converted[1024];
    QVAD_ERROR_TBL conv_err;
    if (!Qvad_ConvSelect(def->Convert, value, converted, sizeof converted, &conv_err)) {
      Qvad_SetError(err, conv_err.local_code, conv_err.system_code, conv_err.line, conv_err.source);
      return -3;
    }
    std::memcpy(value, converted, sizeof converted);
  }
  return 3;
}

int CopyOut(const char *acc, char *out, int size, QVAD_ERROR_TBL *err) {
  std::size_t n = std::strlen(acc);
  if (n >= static_cast<std::size_t>(size)) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -3;
  }
  std::memcpy(out, acc, n + 1);
  return 0;
}

}  // namespace

int Qvad_GetHwInvDB(const INV_ITEM_DEF *def, char *out, int size, const char *dir, QVAD_ERROR_TBL *err) {
  QvadResultFile file;
  int error_number = 0;
  if (!OpenResult(file, dir, def->Acquire.Part[0], &error_number)) {
    QVAD_SET_ERROR(err, 22, static_cast<std::uint32_t>(error_number));
    return -1;
  }
  REF_KEY key{};
  int filter = Qvad_FieldGetReference(def->CondCount, def->Cond, &key, err);
  if (filter == -1) return -3;
  char acc[1024] = {}, value[1024];
  for (;;) {
    const char *raw = nullptr;
    int rc = file.Next(&raw, err);
    if (rc == 1) break;
    if (rc == -1) return -1;
    if (filter == 3) {
      int pass = Qvad_FieldGetAcqRef(&key, raw, err);
      if (pass == -1) return -3;
      if (pass == 2) continue;
    }
    int got = LineValue(def, raw, value, err);
    if (got == -3) return -3;
    if (got == 4) continue;
    int sep = Qvad_FieldGetSeparator(def, acc, sizeof acc, err);
    if (sep == -1) return -3;
    // Joined values that would reach the buffer's size are refused rather
    // than cut: a cut list would look complete.
    std::size_t have = std::strlen(acc), add = std::strlen(value);
    if (have + add >= sizeof acc) {
      QVAD_SET_ERROR(err, 22, kQvadBadInput);
      return -3;
    }
    std::memcpy(acc + have, value, add + 1);
    if (sep == 1) break;
  }
  return CopyOut(acc, out, size, err);
}

int Qvad_GetCurrentInvDB(const INV_ITEM_DEF *def, std::int32_t r, char *out, int size, const char *dir,
                         QVAD_ERROR_TBL *err) {
  QvadResultFile file;
  int error_number = 0;
  if (!OpenResult(file, dir, def->Acquire.Part[0], &error_number)) {
    QVAD_SET_ERROR(err, 2, static_cast<std::uint32_t>(error_number));
    return -1;
  }
  REF_KEY key{};
  int filter = Qvad_FieldGetReference(def->CondCount, def->Cond, &key, err);
  if (filter == -1) return -3;
  char acc[1024] = {}, value[1024];
  // Line r alone counts; the lines after it are still read, so a file that
  // fails further down fails here too. Within a result cache scope the
  // passes cost nothing, which keeps a node's rows linear in its lines.
  int rc = r >= 1 ? file.Skip(static_cast<std::size_t>(r - 1), err) : 0;
  if (rc == -1) return -1;
  if (rc == 0 && r >= 1) {
    const char *raw = nullptr;
    rc = file.Next(&raw, err);
    if (rc == -1) return -1;
    if (rc == 0) {
      int pass = filter == 3 ? Qvad_FieldGetAcqRef(&key, raw, err) : 0;
      if (pass == -1) return -3;
      if (pass == 0) {
        if (Qvad_FieldGetSeparator(def, acc, sizeof acc, err) == -1) return -3;
        int got = LineValue(def, raw, value, err);
        if (got == -3) return -3;
        if (got == 4) {
          out[0] = '\0';
          return 0;
        }
        std::memcpy(acc, value, sizeof acc);
      }
    }
  }
  if (rc == 0 && file.Skip(static_cast<std::size_t>(-1), err) == -1) return -1;
  if (acc[0] == '\0') {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -3;
  }
  return CopyOut(acc, out, size, err);
}
