// Macro-call and argument parsing, and cell editing in both language modes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadfieldget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
  QVAD_ERROR_TBL err;
  char name[1024], args[1024];
  int name_size = 1 + data[0] % 64;
  if (Qvad_MacroStructDiv(text.c_str(), name, name_size, args, sizeof args, &err)) {
    MACRO_ARG *list = nullptr;
    int n = Qvad_GetArgData(&list, args, &err);
    for (int i = 1; i <= n; ++i) {
      REF_KEY key;
      if (Qvad_MacroReference(list, &key, i, &err) == 3 &&
          (strnlen(key.Column, sizeof key.Column) == sizeof key.Column ||
           strnlen(key.Value, sizeof key.Value) == sizeof key.Value))
        std::abort();
    }
    std::free(list);
  }

  InvRunContext *ctx = Qvad_InvContext();
  ctx->LanguageRead = 1;
  ctx->JapaneseMode = data[1] & 1;
  INV_ITEM_DEF def{};
  def.Width = (data[1] >> 1) % 3 == 0 ? 0 : data[0] * 4;
  def.Quote = (data[1] >> 3) & 1;
  INV_FIELD cell;
  if (Qvad_GetFieldEdit(&def, text.c_str(), &cell, 1024, &err) && strnlen(cell.Value, 1024) == 1024) std::abort();
  return 0;
}
