// Loading the numbered entries of one inventory kind from RazInv.ini:
// the five setting integers, separator, conversion keyword and the value
// (literal, macro call, or field reference with conditions).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadnumber.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "platform/error.h"
#include "platform/sys.h"

namespace {

struct KindRow {
  const char *setting;
  const char *separator;
  const char *convert;
  const char *inventory;
  int default_count;
};

const KindRow kKinds[] = {
    {"HardwareSetting", "HardwareSeparator", "HardwareConvert", "HardwareInventory", 199},
    {"SoftwareSetting", "SoftwareSeparator", "SoftwareConvert", "SoftwareInventory", 13},
    {"RepositorySetting", "RepositorySeparator", "RepositoryConvert", "RepositoryInventory", 29},
    {"SingleRepSetting", "SingleRepSeparator", "SingleRepConvert", "SingleRepInventory", 29},
    {"MultiRepSetting", "MultiRepSeparator", "MultiRepConvert", "MultiRepInventory", 30},
    {"TextSetting", "TextSeparator", "TextConvert", "TextInventory", 9},
};

// The longest cell a width may ask for: the field editor's buffers hold
// 1024 bytes with their NUL.
constexpr std::int32_t kMaxWidth = 1023;

void Disable(INV_ITEM_DEF *def, INI_ERROR_NODE **errors, std::int32_t n, std::int32_t local, int line) {
  Qvad_IniErrorAdd(errors, local, kQvadBadInput, n, line, __FILE__);
  def->Type = 0;
}

// Conditions "<left>=<right>&..." of entry n, at most ten.
void CompareEdit(const char *text, INV_ITEM_DEF *def, std::int32_t n, INI_ERROR_NODE **errors) {
  char cond[1024], side[1024];
  for (int c = 1;; ++c) {
    if (Qvad_FieldSplit(text, '&', c, cond, sizeof cond) != 1 || cond[0] == '\0') {
      def->CondCount = c - 1;
      return;
    }
    FIELD_COND *slot = &def->Cond[c - 1];
    def->CondCount = c - 1;
    if (Qvad_FieldSplit(cond, '=', 1, side, sizeof side) != 1) return Disable(def, errors, n, 22, __LINE__);
    if (!Qvad_IniFieldSet(side, &slot->Left, n, errors)) {
      def->Type = 0;
      return;
    }
    if (Qvad_FieldSplit(cond, '=', 2, side, sizeof side) != 1) return Disable(def, errors, n, 22, __LINE__);
    if (!Qvad_IniFieldSet(side, &slot->Right, n, errors)) {
      def->Type = 0;
      return;
    }
    if (c == 10) {
      def->CondCount = 10;
      if (Qvad_FieldSplit(text, '&', 11, cond, sizeof cond) == 1 || cond[0] != '\0')
        Disable(def, errors, n, 22, __LINE__);
      return;
    }
  }
}

}  // namespace

int Qvad_IniFieldSet(const char *text, FIELD_REF *ref, std::int32_t n, INI_ERROR_NODE **errors) {
  char extra[64];
  for (int p = 1; p <= 10; ++p) {
    char *slot = ref->Part[p - 1];
    if (Qvad_FieldSplit(text, ':', p, slot, 64) != 1) {
      // A part that is missing or does not fit ends the list before it. A
      // part too long keeps its first 63 characters: emptied, a condition's
      // value would select the lines whose column is empty.
      ref->Count = p - 1;
      return 1;
    }
  }
  ref->Count = 10;
  if (Qvad_FieldSplit(text, ':', 11, extra, sizeof extra) == 1 || extra[0] != '\0') {
    Qvad_IniErrorAdd(errors, 22, kQvadBadInput, n, __LINE__, __FILE__);
    return 0;
  }
  return 1;
}

void Qvad_IniAcquireEdit(const char *value, INV_ITEM_DEF *def, std::int32_t n, INI_ERROR_NODE **errors) {
  char reference[1024];
  char conditions[1024] = {};
  if (Qvad_FieldSplit(value, ',', 1, reference, sizeof reference) != 1 || reference[0] == '\0') {
    Disable(def, errors, n, 22, __LINE__);
  } else if (Qvad_IniFieldSet(reference, &def->Acquire, n, errors)) {
    Qvad_FieldSplit(value, ',', 2, conditions, sizeof conditions);
  } else {
    def->Type = 0;
  }
  CompareEdit(conditions, def, n, errors);
  // The line filter holds a column number of at most 7 characters.
  if (def->Type == 3 && def->CondCount > 0 && std::strlen(def->Cond[def->CondCount - 1].Left.Part[1]) >= 8)
    Disable(def, errors, n, 22, __LINE__);
}

namespace {

// Setting, separator and conversion keys of entry n. Returns false when the
// setting key itself is missing, which fails the whole load.
bool SettingSetFile(const KindRow &kind, const char *file, std::int32_t n, INV_ITEM_DEF *def, INI_ERROR_NODE **errors) {
  char key[16], setting[1024], field[1024];
  std::snprintf(key, sizeof key, "%d", n);
  QvadGetPrivateProfileString(kind.setting, key, "", setting, sizeof setting, file);
  if (setting[0] == '\0') {
    Qvad_IniErrorAdd(errors, 1, kQvadBadInput, n, __LINE__, __FILE__);
    return false;
  }
  std::int32_t *members[] = {&def->Type, &def->Width, &def->Quote, &def->SepFlag, &def->ConvFlag};
  for (int i = 0; i < 5; ++i) {
    if (Qvad_FieldSplit(setting, ',', i + 1, field, sizeof field) != 1 || field[0] == '\0') {
      Disable(def, errors, n, 1, __LINE__);
      return true;
    }
    *members[i] = Qvad_LeadingInt32(field);
    if (i == 3 && def->SepFlag == 1) {
      std::int32_t code = static_cast<std::int32_t>(QvadGetPrivateProfileInt(kind.separator, key, 0, file));
      if (code == 0) {
        Disable(def, errors, n, 1, __LINE__);
        return true;
      }
      def->Separator[0] = static_cast<char>(code & 0xFF);
      def->Separator[1] = '\0';
    }
    if (i == 4 && def->ConvFlag == 1) {
      QvadGetPrivateProfileString(kind.convert, key, "", def->Convert, sizeof def->Convert, file);
      if (def->Convert[0] == '\0') {
        Disable(def, errors, n, 1, __LINE__);
        return true;
      }
    }
  }
  // A width the cell buffers cannot hold would overflow them.
  if (def->Width < 0 || def->Width > kMaxWidth) Disable(def, errors, n, 22, __LINE__);
  return true;
}

}  // namespace

std::int32_t Qvad_IniFileSet(const char *file, int kind, INV_ITEM_DEF **table, INI_ERROR_NODE **errors) {
  if (table != nullptr) *table = nullptr;
  if (kind < 0 || kind > 5 || table == nullptr) {
    Qvad_IniErrorAdd(errors, 22, kQvadBadInput, 0, __LINE__, __FILE__);
    return -1;
  }
  const KindRow &row = kKinds[kind];
  if (file == nullptr || file[0] == '\0') {
    Qvad_IniErrorAdd(errors, 1, kQvadBadInput, 0, __LINE__, __FILE__);
    return -1;
  }
  // Qvad_IniFileMalloc: the count, and a zero-filled table of that many.
  auto count = static_cast<std::int32_t>(QvadGetPrivateProfileInt(row.setting, "count", row.default_count, file));
  errno = 0;
  void *memory =
      count >= 0 ? std::calloc(count > 0 ? static_cast<std::size_t>(count) : 1, sizeof(INV_ITEM_DEF)) : nullptr;
  if (memory == nullptr) {
    Qvad_IniErrorAdd(errors, 12, static_cast<std::uint32_t>(errno != 0 ? errno : ENOMEM), 0, __LINE__, __FILE__);
    return -2;
  }
  *table = static_cast<INV_ITEM_DEF *>(memory);
  char key[16], value[1024];
  for (std::int32_t n = 1; n <= count; ++n) {
    INV_ITEM_DEF *def = &(*table)[n - 1];
    if (!SettingSetFile(row, file, n, def, errors)) return -1;
    std::snprintf(key, sizeof key, "%d", n);
    QvadGetPrivateProfileString(row.inventory, key, "", value, sizeof value, file);
    if (value[0] == '\0') continue;
    if (def->Type == 1 || def->Type == 2) {
      if (!Qvad_CopyFits(def->Text, sizeof def->Text, value)) Disable(def, errors, n, 22, __LINE__);
    } else if (def->Type == 3) {
      Qvad_IniAcquireEdit(value, def, n, errors);
    }
  }
  return count;
}
