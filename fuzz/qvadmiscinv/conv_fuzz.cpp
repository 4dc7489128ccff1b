// Every conversion on any value and output size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadconv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const char *kKeywords[] = {"DTOI",     "BTOKB", "MBTOB",     "REMOVE",    "RMYEN",
                                    "SEPARATE", "RMHEX", "LOWERCASE", "UPPERCASE", "NONE"};
  if (size < 2) return 0;
  const char *keyword = kKeywords[data[0] % 10];
  int out_size = 1 + data[1] * 4;
  std::string in(reinterpret_cast<const char *>(data + 2), size - 2);
  char *out = static_cast<char *>(std::malloc(static_cast<std::size_t>(out_size)));
  QVAD_ERROR_TBL err;
  if (Qvad_ConvSelect(keyword, in.c_str(), out, out_size, &err) &&
      strnlen(out, static_cast<std::size_t>(out_size)) == static_cast<std::size_t>(out_size))
    std::abort();
  std::free(out);
  return 0;
}
