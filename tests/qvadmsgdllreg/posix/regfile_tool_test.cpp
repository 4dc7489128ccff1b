// The registry tools over a registry file an administrator has touched: a
// damaged or foreign file and a read-only one are refused with the
// registry's code, and the file stays as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>

#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;
using tooltest::Seen;

TEST(RegistryFileTools, ARegistryFileTheyCannotReadOrWriteIsRefusedAndKept) {
  qvtest::ScratchDir dir("regtools");
  std::string path = dir.file("registry.reg");
  qvtest::EnvVar reg("QVAD_REGISTRY", path);
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.file("trc"));
  std::string binary(65536, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 31u) ^ (i >> 7));
  const std::string export_text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QvAdnerl]\n"
      "\"TypesSupported\"=dword:00000007\n";
  struct Case {
    const char *what;
    std::string bytes;
    mode_t mode;
    std::uint32_t reg_status;
    std::string reg_message;
    std::uint32_t unreg_status;
    std::string unreg_message;
  } cases[] = {
      {"binary data", binary, 0644, 300, "qvadmsgdllreg error create registory key(1009).", 301,
       "qvadmsgdllunreg error open registory key(1009)."},
      {"a read-only export", export_text, 0444, 303, "qvadmsgdllreg error set registory.", 304,
       "qvadmsgdllunreg error set registory."},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(qvtest::WriteFile(path, c.bytes));
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    auto r = RunTool(dir, "qvadmsgdllreg", "-p " + Q(dir.file("nerl")));
    EXPECT_EQ(r.out, c.reg_message) << c.what;
    EXPECT_EQ(r.rc, Seen(c.reg_status)) << c.what;
    r = RunTool(dir, "qvadmsgdllunreg", "");
    EXPECT_EQ(r.out, c.unreg_message) << c.what;
    EXPECT_EQ(r.rc, Seen(c.unreg_status)) << c.what;
    EXPECT_TRUE(qvtest::ReadFile(path) == c.bytes) << c.what << ": the file was changed";
    chmod(path.c_str(), 0644);
  }
}

}  // namespace
