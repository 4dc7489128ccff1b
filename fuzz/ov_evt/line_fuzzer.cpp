// Feeds arbitrary bytes through the block-to-line cutter, cut into blocks at
// places the input chooses, and every resulting line through the event line
// parsers and host tests. The lines must be exactly the LF-separated pieces
// of the input (each cut to 4096 characters), and every parsed field must
// stay within its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hp_ov/ov_evt/ovcut.h"
#include "hp_ov/ov_evt/ovparse.h"

namespace {

struct Collected {
  std::vector<std::string> lines;
};

void Check(const char *line) {
  std::size_t len = std::strlen(line);
  if (len > 4096) std::abort();
  std::int32_t t = 0;
  OvGetEventTime(line, &t);
  // Guard bytes after each field catch a write past it.
  char host[kOvHostSize + 8];
  std::memset(host, 0x5A, sizeof host);
  if (OvGetHostName(line, host) == 0) {
    if (std::strlen(host) > 128) std::abort();
    OvToLower(host);
    OvIsIpAddress(host);
    OvIsHostName(host);
  }
  for (int i = kOvHostSize; i < kOvHostSize + 8; ++i)
    if (host[i] != 0x5A) std::abort();
  std::vector<char> message(kOvMessageSize + 8, 0x5A);
  if (OvGetEventMessage(line, message.data()) == 0 && std::strlen(message.data()) > 4092) std::abort();
  for (int i = kOvMessageSize; i < kOvMessageSize + 8; ++i)
    if (message[static_cast<std::size_t>(i)] != 0x5A) std::abort();
  char key[kOvSeveritySize + 8];
  std::memset(key, 0x5A, sizeof key);
  if (OvGetSeverity(line, key) == 0 && std::strlen(key) > 15) std::abort();
  for (int i = kOvSeveritySize; i < kOvSeveritySize + 8; ++i)
    if (key[i] != 0x5A) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the block size (1 to 256, or 4096).
  std::size_t block = data[0] == 0 ? 4096 : data[0];
  const char *text = reinterpret_cast<const char *>(data + 1);
  std::size_t n = size - 1;

  static OV_CARRY carry;
  static char line[kOvLineSize];
  OvCarryClear(&carry);
  Collected got;
  for (std::size_t at = 0; at < n; at += block) {
    std::size_t piece = n - at < block ? n - at : block;
    OvCutBlock(
        &carry, text + at, piece, line,
        [](const char *l, void *c) {
          Check(l);
          static_cast<Collected *>(c)->lines.emplace_back(l);
        },
        &got);
  }
  // The reference: LF-separated pieces, each up to its first NUL (the line
  // is a C string from there on) and cut to 4096 characters.
  std::vector<std::string> want;
  std::string cur;
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == '\n') {
      std::string s = cur.substr(0, 4096);
      want.push_back(s.substr(0, std::strlen(s.c_str())));
      cur.clear();
    } else {
      cur += text[i];
    }
  }
  if (got.lines != want) std::abort();
  if (static_cast<std::size_t>(carry.length) != (cur.size() < 4096 ? cur.size() : 4096)) std::abort();
  return 0;
}
