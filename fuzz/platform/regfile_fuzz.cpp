// The registry file reader and its writers on any file content. Reads must
// end without a fault; a write either refuses a file it cannot read (1009)
// and leaves it byte for byte, or succeeds, after which the written value
// reads back and a value the write did not touch reads as before.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "platform/sys.h"

namespace {

std::string g_base, g_path;

void CleanUp() {
  std::error_code ec;
  std::filesystem::remove_all(g_base, ec);
}

void SetUp() {
  g_base = plat::TempDir() + "/qvad-fuzz-regfile-" + std::to_string(plat::ProcessId());
  std::filesystem::create_directories(g_base);
  g_path = g_base + "/registry.reg";
  plat::SetEnv("QVAD_REGISTRY", g_path.c_str());
  std::atexit(CleanUp);
}

std::string ReadAll() {
  std::ifstream in(g_path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The value as the registry returns it, or the error code, with a buffer of
// the given size so the too-small path runs as well.
std::string Query(const char *key, const char *name, std::uint32_t room) {
  char buf[64];
  std::memset(buf, 0x5A, sizeof buf);
  std::uint32_t size = room;
  std::uint32_t type = 0;
  std::uint32_t rc = plat::RegistryQuery(plat::RegRoot::LocalMachine, key, name, &type, buf, &size);
  if (rc == 234 && size <= room) std::abort();  // "does not fit" must mean it does not
  if (rc != 0) return "<" + std::to_string(rc) + ">";
  if (size > room) std::abort();
  return std::to_string(type) + ":" + std::string(buf, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static bool ready = (SetUp(), true);
  (void)ready;
  const std::string input(reinterpret_cast<const char *>(data), size);
  {
    std::ofstream out(g_path, std::ios::binary | std::ios::trunc);
    out << input;
  }
  const char *keys[] = {"SOFTWARE\\X", "software\\x\\y", "", "SOFTWARE"};
  const char *names[] = {"y", "", "keep", "A"};
  for (const char *k : keys) {
    plat::RegistryKeyExists(plat::RegRoot::LocalMachine, k);
    for (const char *n : names) Query(k, n, sizeof(std::uint32_t));
  }
  const std::string keep = Query("SOFTWARE\\X", "keep", 64);

  std::uint32_t rc = plat::RegistrySet(plat::RegRoot::LocalMachine, "SOFTWARE\\Fuzz\\New", "v", plat::kRegSz, "value", 6);
  if (rc == 1009) {
    if (ReadAll() != input) std::abort();  // a refused write changed the file
    return 0;
  }
  if (rc != 0) std::abort();
  if (Query("SOFTWARE\\Fuzz\\New", "v", 64) != "1:" + std::string("value", 6)) std::abort();
  if (Query("SOFTWARE\\X", "keep", 64) != keep) std::abort();
  if (plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, "SOFTWARE\\Fuzz\\New", "v") != 0) std::abort();
  if (Query("SOFTWARE\\X", "keep", 64) != keep) std::abort();
  return 0;
}
