// Loading one repository machine set from RazInv.ini: the machine names and
// the references ("<stem>:<col>|<col>...,<conditions>") that identify them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "platform/error.h"
#include "platform/sys.h"

namespace {

struct MachineRow {
  const char *name_section;
  const char *id_section;
};
const MachineRow kSets[] = {
    {"RepositoryMachineName", "RepositoryMachineID"},
    {"SingleRepMachineName", "SingleRepMachineID"},
    {"MultiRepMachineName", "MultiRepMachineID"},
};
constexpr int kDefaultMachineCount = 16;

void Invalid(MACHINE_DEF *def, INI_ERROR_NODE **errors, std::int32_t n, int line) {
  Qvad_IniErrorAdd(errors, 22, kQvadBadInput, n, line, __FILE__);
  def->Valid = 0;
}

void MachineCompareEdit(const char *text, MACHINE_DEF *def, std::int32_t n, INI_ERROR_NODE **errors) {
  char cond[1024], side[1024];
  for (int c = 1;; ++c) {
    if (Qvad_FieldSplit(text, '&', c, cond, sizeof cond) != 1 || cond[0] == '\0') {
      def->CondCount = c - 1;
      return;
    }
    def->CondCount = c - 1;
    FIELD_COND *slot = &def->Cond[c - 1];
    if (Qvad_FieldSplit(cond, '=', 1, side, sizeof side) != 1 || side[0] == '\0')
      return Invalid(def, errors, n, __LINE__);
    if (!Qvad_IniMachineFieldSet(0, 10, ':', side, &slot->Left, n, errors)) {
      def->Valid = 0;
      return;
    }
    if (Qvad_FieldSplit(cond, '=', 2, side, sizeof side) != 1 || side[0] == '\0')
      return Invalid(def, errors, n, __LINE__);
    if (!Qvad_IniMachineFieldSet(0, 10, ':', side, &slot->Right, n, errors)) {
      def->Valid = 0;
      return;
    }
    if (c == 10) {
      def->CondCount = 10;
      if (Qvad_FieldSplit(text, '&', 11, cond, sizeof cond) == 1 || cond[0] != '\0') Invalid(def, errors, n, __LINE__);
      return;
    }
  }
}

}  // namespace

int Qvad_IniMachineFieldSet(int start, int max, char sep, const char *text, FIELD_REF *ref, std::int32_t n,
                            INI_ERROR_NODE **errors) {
  if (start < 0 || max < 0 || start + max > 10) {
    Qvad_IniErrorAdd(errors, 22, kQvadBadInput, n, __LINE__, __FILE__);
    return 0;
  }
  for (int f = 1; f <= max; ++f) {
    char *slot = ref->Part[start + f - 1];
    if (Qvad_FieldSplit(text, sep, f, slot, 64) != 1 || slot[0] == '\0') {
      // As in the kinds' lists, a part too long keeps its first 63 characters.
      ref->Count = start + f - 1;
      return 1;
    }
  }
  ref->Count = 10;
  char extra[64];
  if (Qvad_FieldSplit(text, sep, max + 1, extra, sizeof extra) == 1 || extra[0] != '\0') {
    Qvad_IniErrorAdd(errors, 22, kQvadBadInput, n, __LINE__, __FILE__);
    return 0;
  }
  return 1;
}

void Qvad_IniMachineAcquireEdit(const char *value, MACHINE_DEF *def, std::int32_t n, INI_ERROR_NODE **errors) {
  char reference[1024], part[1024];
  char conditions[1024] = {};
  if (Qvad_FieldSplit(value, ',', 1, reference, sizeof reference) != 1 || reference[0] == '\0') {
    Invalid(def, errors, n, __LINE__);
  } else if (Qvad_FieldSplit(reference, ':', 1, part, sizeof part) != 1 || part[0] == '\0') {
    Invalid(def, errors, n, __LINE__);
  } else if (!Qvad_CopyFits(def->Acquire.Part[0], sizeof def->Acquire.Part[0], part)) {
    // A stem of 64 characters or more does not fit the table.
    Invalid(def, errors, n, __LINE__);
  } else if (Qvad_FieldSplit(reference, ':', 2, part, sizeof part) != 1 || part[0] == '\0') {
    Invalid(def, errors, n, __LINE__);
  } else if (!Qvad_IniMachineFieldSet(1, 9, '|', part, &def->Acquire, n, errors)) {
    Invalid(def, errors, n, __LINE__);
  } else {
    Qvad_FieldSplit(value, ',', 2, conditions, sizeof conditions);
  }
  MachineCompareEdit(conditions, def, n, errors);
  // The line filter holds a column number of at most 7 characters.
  if (def->CondCount > 0 && std::strlen(def->Cond[def->CondCount - 1].Left.Part[1]) >= 8)
    Invalid(def, errors, n, __LINE__);
}

std::int32_t Qvad_IniMachineSet(const char *file, MACHINE_DEF **table, int set, INI_ERROR_NODE **errors) {
  if (table != nullptr) *table = nullptr;
  if (set < 0 || set > 2 || table == nullptr) {
    Qvad_IniErrorAdd(errors, 22, kQvadBadInput, 0, __LINE__, __FILE__);
    return -1;
  }
  const MachineRow &row = kSets[set];
  if (file == nullptr || file[0] == '\0') {
    Qvad_IniErrorAdd(errors, 1, kQvadBadInput, 0, __LINE__, __FILE__);
    return -1;
  }
  // Qvad_IniMachineMalloc
  auto count =
      static_cast<std::int32_t>(QvadGetPrivateProfileInt(row.name_section, "count", kDefaultMachineCount, file));
  void *memory =
      count >= 0 ? std::calloc(count > 0 ? static_cast<std::size_t>(count) : 1, sizeof(MACHINE_DEF)) : nullptr;
  if (memory == nullptr) {
    Qvad_IniErrorAdd(errors, 12, kQvadBadInput, 0, __LINE__, __FILE__);
    return -2;
  }
  *table = static_cast<MACHINE_DEF *>(memory);
  char key[16], value[1024];
  for (std::int32_t n = 1; n <= count; ++n) {
    MACHINE_DEF *def = &(*table)[n - 1];
    std::snprintf(key, sizeof key, "%d", n);
    QvadGetPrivateProfileString(row.name_section, key, "", def->Name, sizeof def->Name, file);
    if (def->Name[0] != '\0') def->Valid = 1;
    QvadGetPrivateProfileString(row.id_section, key, "", value, sizeof value, file);
    if (value[0] == '\0') {
      def->Valid = 0;
      continue;
    }
    Qvad_IniMachineAcquireEdit(value, def, n, errors);
  }
  return count;
}
