// The registry file itself: what the registry editor exports must read, and
// what we write must be the export format with every unrelated key kept.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "testutil.h"

namespace {

std::string Utf16Bom(const std::string &ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Query(const char *key, const char *name, std::uint32_t *type = nullptr) {
  char buf[256] = {};
  std::uint32_t size = sizeof buf;
  std::uint32_t rc = plat::RegistryQuery(plat::RegRoot::LocalMachine, key, name, type, buf, &size);
  return rc == 0 ? std::string(buf, size) : "<" + std::to_string(rc) + ">";
}

}  // namespace

TEST(RegistryFile, ReadsAnEditorExportInUtf16WithCrLfAndNoAncestorSections) {
  qvtest::ScratchDir dir("regfile");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  // hex(2) is UTF-16LE in an export: "%R%\\x" with its NUL, continued over two lines.
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex]\r\n"
      "\"vrexroot\"=\"C:\\\\Program Files\\\\Vrex \\\"A\\\"\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Msg\"=hex(2):25,00,52,00,25,00,5c,00,\\\r\n"
      "  78,00,00,00\r\n"
      "@=\"default\"\r\n";
  ASSERT_TRUE(qvtest::WriteFile(path, Utf16Bom(text)));
  std::uint32_t type = 0;
  EXPECT_EQ(Query("SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex", "VREXROOT", &type),
            std::string("C:\\Program Files\\Vrex \"A\"\0", 26));
  EXPECT_EQ(type, plat::kRegSz);
  EXPECT_EQ(Query("SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex", "Msg", &type), std::string("%R%\\x\0", 6));
  EXPECT_EQ(type, plat::kRegExpandSz);
  EXPECT_EQ(Query("SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex", ""), std::string("default\0", 8));
  // An ancestor with no section of its own still exists.
  EXPECT_EQ(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, "SOFTWARE\\Vantrel"), 0u);
  EXPECT_EQ(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, "SOFTWARE\\Vantre"), 2u);

  // A write keeps everything else and writes the export format in UTF-8 with LF.
  ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, "SOFTWARE\\Other", "N", plat::kRegSz, "v", 2), 0u);
  std::string written = qvtest::ReadFile(path);
  EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << written;
  EXPECT_EQ(written.find('\r'), std::string::npos);
  EXPECT_NE(written.find("\"Msg\"=hex(2):25,00,52,00,25,00,5c,00,78,00,00,00\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\"Count\"=dword:0000002a\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\"vrexroot\"=\"C:\\\\Program Files\\\\Vrex \\\"A\\\"\"\n"), std::string::npos) << written;
  EXPECT_EQ(Query("SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex", "Count").size(), 4u);
}

TEST(RegistryFile, MissingFileIsAMissingKeyAndUnreadableIsDenied) {
  qvtest::ScratchDir dir("regperm");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  EXPECT_EQ(Query("SOFTWARE\\X", "y"), "<2>");
  ASSERT_TRUE(qvtest::WriteFile(
      path, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"y\"=\"1\"\n"));
  EXPECT_EQ(Query("SOFTWARE\\X", "y"), std::string("1\0", 2));
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file; permission case needs an ordinary user";
  chmod(path.c_str(), 0);
  EXPECT_EQ(Query("SOFTWARE\\X", "y"), "<5>");
}
