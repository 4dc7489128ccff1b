// The profile (.ini) reader on any file content: section and key listings
// and values with buffers of every small size must stay inside the buffer,
// end in NUL, and report no more than they copied.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cmn/qvadprofile.h"
#include "platform/sys.h"

namespace {

std::string g_base, g_path;

void CleanUp() {
  std::error_code ec;
  std::filesystem::remove_all(g_base, ec);
}

void SetUp() {
  g_base = plat::TempDir() + "/qvad-fuzz-profile-" + std::to_string(plat::ProcessId());
  std::filesystem::create_directories(g_base);
  g_path = g_base + "/RazInv.ini";
  std::atexit(CleanUp);
}

// One read into a buffer of exactly size bytes with a guard after it.
std::string Read(const char *section, const char *key, std::uint32_t size) {
  std::vector<char> buf(size + 8, '\x7f');
  std::uint32_t n = QvadGetPrivateProfileString(section, key, "def", buf.data(), size, g_path.c_str());
  for (std::size_t i = size; i < buf.size(); ++i)
    if (buf[i] != '\x7f') std::abort();  // written past the buffer
  if (size == 0) return {};
  if (n >= size || buf[n] != '\0') std::abort();
  return std::string(buf.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static bool ready = (SetUp(), true);
  (void)ready;
  {
    std::ofstream out(g_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  }
  // Every section, and every key of the first few, at a few buffer sizes.
  std::string sections = Read(nullptr, nullptr, 4096);
  for (std::uint32_t small : {0u, 1u, 2u, 3u, 7u}) Read(nullptr, nullptr, small);
  std::size_t seen = 0;
  for (std::size_t at = 0; at < sections.size() && seen < 8; ++seen) {
    std::string section = sections.c_str() + at;
    at += section.size() + 1;
    std::string keys = Read(section.c_str(), nullptr, 4096);
    for (std::uint32_t small : {1u, 2u, 5u}) Read(section.c_str(), nullptr, small);
    std::size_t k = 0;
    for (std::size_t kat = 0; kat < keys.size() && k < 16; ++k) {
      std::string key = keys.c_str() + kat;
      kat += key.size() + 1;
      for (std::uint32_t room : {1u, 2u, 4u, 260u}) Read(section.c_str(), key.c_str(), room);
      QvadGetPrivateProfileInt(section.c_str(), key.c_str(), -1, g_path.c_str());
    }
  }
  Read("General", "ServerIP", 40);
  QvadGetPrivateProfileInt("General", "Type", 7, g_path.c_str());
  return 0;
}
