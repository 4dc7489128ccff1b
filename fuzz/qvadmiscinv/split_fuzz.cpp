// The splitter, counter, quote strippers and line reader on any bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadfield.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  char sep = static_cast<char>(data[0]);
  int out_size = 1 + data[1] % 80;
  std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
  int count = Qvad_FieldCount(text.c_str());
  char *field = static_cast<char *>(std::malloc(static_cast<std::size_t>(out_size)));
  for (int n = 0; n <= count + 1 && n < 64; ++n) {
    if (Qvad_FieldSplit(text.c_str(), sep, n, field, out_size) == 1) {
      char *copy = nullptr;
      if (Qvad_DupStripQuotes(field, &copy)) std::free(copy);
      Qvad_StripQuotes(field);
    }
    if (strnlen(field, static_cast<std::size_t>(out_size)) == static_cast<std::size_t>(out_size))
      std::abort();  // always terminated
  }
  std::free(field);

  // The same bytes as a file, read line by line.
  std::FILE *f = fmemopen(const_cast<std::uint8_t *>(data + 2), size - 2, "rb");
  if (f == nullptr) return 0;
  QVAD_ERROR_TBL err;
  char *line = nullptr;
  std::size_t total = 0;
  while (Qvad_FieldGetMem(f, &line, &err) == 0) {
    total += std::strlen(line);
    std::free(line);
  }
  std::fclose(f);
  if (total > size) std::abort();
  return 0;
}
