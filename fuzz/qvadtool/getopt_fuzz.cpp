// The setup tools' option parser on arbitrary command lines: it must end,
// never step outside the word array, and only hand out arguments that lie
// inside the words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmn/qvadtool/qvadtool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Words are separated by NUL bytes; the first is the program name.
  std::vector<std::string> words{"tool"};
  std::string cur;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  words.push_back(cur);
  std::vector<char *> argv;
  for (auto &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int count = static_cast<int>(words.size());

  OptInd = 1;
  NextChar = nullptr;
  // Each call consumes a letter or a word, so the total length bounds the calls.
  const std::size_t limit = size + words.size() + 2;
  for (std::size_t calls = 0;; ++calls) {
    if (calls > limit) std::abort();
    int c = Qvad_GetOpt(count, argv.data(), "abp:i:t:s:n:o:");
    if (OptInd < 1 || OptInd > count) std::abort();
    if (c == -1) break;
    if (OptArg != nullptr) {
      bool inside = false;
      for (auto &w : words)
        if (OptArg >= w.data() && OptArg <= w.data() + w.size()) inside = true;
      if (!inside || OptArg[std::strlen(OptArg)] != '\0') std::abort();
    }
  }
  return 0;
}
