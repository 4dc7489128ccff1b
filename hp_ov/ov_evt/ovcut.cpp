// The block-to-line cutter of the event loop.
#include "hp_ov/ov_evt/ovcut.h"

#include <cstring>

namespace {

void Append(OV_CARRY *carry, const char *bytes, std::size_t n) {
  std::size_t room = static_cast<std::size_t>(kOvLineSize - 1 - carry->length);
  if (n > room) n = room;
  std::memcpy(carry->text + carry->length, bytes, n);
  carry->length += static_cast<int>(n);
  carry->text[carry->length] = '\0';
}

}  // namespace

void OvCarryClear(OV_CARRY *carry) {
  carry->length = 0;
  carry->text[0] = '\0';
}

void OvCutBlock(OV_CARRY *carry, const char *block, std::size_t size, char *line, OV_LINE_HANDLER handler,
                void *context) {
  const char *p = block;
  const char *end = block + size;
  while (p < end) {
    const char *lf = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (lf == nullptr) {
      Append(carry, p, static_cast<std::size_t>(end - p));
      return;
    }
    Append(carry, p, static_cast<std::size_t>(lf - p));
    std::memcpy(line, carry->text, static_cast<std::size_t>(carry->length) + 1);
    OvCarryClear(carry);
    handler(line, context);
    p = lf + 1;
  }
}
