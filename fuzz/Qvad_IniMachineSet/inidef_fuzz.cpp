// The definition loaders on any RazInv.ini: an install folder under the
// temp folder is set up once, the file is rewritten for every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvaderrlist.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/Qvad_IniMachineSet/qvadinidef.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {
std::string g_ini, g_base;

void CleanUp() {
  std::error_code ec;
  std::filesystem::remove_all(g_base, ec);
}

void SetUp() {
  namespace fs = std::filesystem;
  std::string base = plat::TempDir() + "/qvad-fuzz-inidef-" + std::to_string(plat::ProcessId());
  fs::create_directories(base + "/vrex/etc");
  fs::create_directories(base + "/nerl/etc");
  plat::SetEnv("QVAD_REGISTRY", (base + "/registry.reg").c_str());
  std::string root = base + "/vrex";
  plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root.c_str(),
                    static_cast<std::uint32_t>(root.size() + 1));
  std::FILE *f = std::fopen((root + "/etc/nerladapter.env").c_str(), "wb");
  std::fprintf(f, "%s/nerl/bin/libqvadinv.so\n%s/nerl\n", base.c_str(), base.c_str());
  std::fclose(f);
  g_ini = base + "/nerl/etc/RazInv.ini";
  g_base = base;
  std::atexit(CleanUp);
}

const char *kCountSections[] = {"HardwareSetting",       "SoftwareSetting",      "RepositorySetting",
                                "SingleRepSetting",      "MultiRepSetting",      "TextSetting",
                                "RepositoryMachineName", "SingleRepMachineName", "MultiRepMachineName"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static bool ready = (SetUp(), true);
  (void)ready;
  if (size < 1) return 0;
  std::FILE *f = std::fopen(g_ini.c_str(), "wb");
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  int kind = data[0] % 9;
  // Tables of a million entries are a memory test, not a parsing one.
  int count = static_cast<int>(QvadGetPrivateProfileInt(kCountSections[kind], "count", 16, g_ini.c_str()));
  if (count < 0 || count > 2000) return 0;
  INI_ERROR_NODE *errors = nullptr;
  if (kind < 6) {
    INV_ITEM_DEF *table = nullptr;
    std::int32_t n = Qvad_IniFileSet(g_ini.c_str(), kind, &table, &errors);
    for (std::int32_t i = 0; i < n; ++i)
      if (table[i].Type == 3 && (table[i].Acquire.Count > 10 || table[i].CondCount > 10)) std::abort();
    std::free(table);
  } else {
    MACHINE_DEF *table = nullptr;
    std::int32_t n = Qvad_IniMachineSet(g_ini.c_str(), &table, kind - 6, &errors);
    for (std::int32_t i = 0; i < n; ++i)
      if (table[i].Acquire.Count > 10 || table[i].CondCount > 10) std::abort();
    std::free(table);
  }
  Qvad_IniErrorFree(&errors);
  return 0;
}
