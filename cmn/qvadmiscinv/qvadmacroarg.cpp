// Parsing macro calls "NAME(arg,arg...)" and their arguments
// "<part>:<part>...[=<value>]".
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "platform/error.h"

int Qvad_MacroStructDiv(const char *text, char *name, int name_size, char *args, int args_size, QVAD_ERROR_TBL *err) {
  if (args != nullptr && args_size > 0) std::memset(args, 0, static_cast<std::size_t>(args_size));
  if (text == nullptr || Qvad_FieldSplit(text, '(', 1, name, name_size) != 1) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return 0;
  }
  std::size_t n = std::strlen(name);
  if (text[n] != '(') return 1;  // no arguments at all
  const char *rest = text + n + 1;
  if (Qvad_FieldSplit(rest, ')', 1, args, args_size) != 1) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return 0;
  }
  return 1;
}

int Qvad_GetArgField(MACRO_ARG *target, const char *arg, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  if (target == nullptr || arg == nullptr) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return 0;
  }
  std::memset(target, 0, sizeof *target);
  char parts[1024];
  const char *part_text = arg;
  if (Qvad_FieldSplit(arg, '=', 2, target->Value, sizeof target->Value) == 1) {
    if (Qvad_FieldSplit(arg, '=', 1, parts, sizeof parts) == 1) part_text = parts;
  } else {
    std::memset(target->Value, 0, sizeof target->Value);
  }
  int count = 0;
  while (count < 10 && Qvad_FieldSplit(part_text, ':', count + 1, target->Part[count], sizeof target->Part[count]) == 1)
    ++count;
  if (count < 10) std::memset(target->Part[count], 0, sizeof target->Part[count]);
  target->Count = count;
  if (count == 0) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return 0;
  }
  return 1;
}

int Qvad_GetArgData(MACRO_ARG **out, const char *args, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  if (out == nullptr || args == nullptr) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  *out = nullptr;
  int count = Qvad_FieldCount(args);
  if (count == 0) {
    QVAD_SET_ERROR(err, 22, kQvadBadInput);
    return -1;
  }
  errno = 0;
  auto *array = static_cast<MACRO_ARG *>(std::calloc(static_cast<std::size_t>(count), sizeof(MACRO_ARG)));
  if (array == nullptr) {
    QVAD_SET_ERROR(err, 12, static_cast<std::uint32_t>(errno));
    return -1;
  }
  char arg[256];
  for (int i = 1; i <= count; ++i) {
    if (Qvad_FieldSplit(args, ',', i, arg, sizeof arg) != 1) {
      QVAD_SET_ERROR(err, 22, kQvadBadInput);
      std::free(array);
      return -1;
    }
    if (!Qvad_GetArgField(&array[i - 1], arg, err)) {
      std::free(array);
      return -1;
    }
  }
  *out = array;
  return count;
}
