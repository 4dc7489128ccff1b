// The registry file itself: what the registry editor exports must read, and
// what we write must be the export format with every unrelated key kept.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "platform/sys.h"
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

const char kKeyX[] = "SOFTWARE\\X";

std::uint32_t SetX(const char *name, const char *text) {
  return plat::RegistrySet(plat::RegRoot::LocalMachine, kKeyX, name, plat::kRegSz, text,
                           static_cast<std::uint32_t>(std::strlen(text) + 1));
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
  // Lines nobody changed are kept as the export wrote them, continuation included.
  EXPECT_NE(written.find("\"Msg\"=hex(2):25,00,52,00,25,00,5c,00,\\\n  78,00,00,00\n"), std::string::npos) << written;
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

TEST(RegistryFile, WritersChangeOnlyTheirLinesAndKeepEverythingElseByteForByte) {
  qvtest::ScratchDir dir("regkeep");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  // Hand edits: comments, odd blanks, a line this reader does not take, a
  // deletion section, a value continued over lines, a key given twice.
  const std::string before =
      "Windows Registry Editor Version 5.00\n"
      "; site settings, edited by hand 2026-11-02\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"
      "\"keep\"  =  \"as  typed\"\n"
      "# not a registry line at all\n"
      "\"bad\"=nonsense\n"
      "\"old\"=\"1\"\n"
      "\"bin\"=hex:01,02,\\\n"
      "    03\n"
      "\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
      "\"orphan\"=\"under a deletion\"\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Drop]\n"
      "; why Drop exists\n"
      "\"d\"=dword:00000001\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\n"
      "\"twice\"=\"a\"\n";
  ASSERT_TRUE(qvtest::WriteFile(path, before));
  ASSERT_EQ(SetX("old", "2"), 0u);
  ASSERT_EQ(SetX("new", "n"), 0u);
  ASSERT_EQ(SetX("TWICE", "b"), 0u);
  ASSERT_EQ(plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kKeyX, "bin"), 0u);
  ASSERT_EQ(plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, "SOFTWARE\\Drop"), 0u);
  ASSERT_EQ(plat::RegistryCreateKey(plat::RegRoot::LocalMachine, "SOFTWARE\\Y"), 0u);
  EXPECT_EQ(qvtest::ReadFile(path),
            "Windows Registry Editor Version 5.00\n"
            "; site settings, edited by hand 2026-11-02\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"
            "\"keep\"  =  \"as  typed\"\n"
            "# not a registry line at all\n"
            "\"bad\"=nonsense\n"
            "\"old\"=\"2\"\n"
            "\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
            "\"orphan\"=\"under a deletion\"\n"
            "; why Drop exists\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\n"
            "\"TWICE\"=\"b\"\n"
            "\"new\"=\"n\"\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Y]\n");
  EXPECT_EQ(Query(kKeyX, "keep"), std::string("as  typed\0", 10));
  EXPECT_EQ(Query(kKeyX, "twice"), std::string("b\0", 2));
  EXPECT_EQ(Query(kKeyX, "bin"), "<2>");
  EXPECT_EQ(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, "SOFTWARE\\Drop"), 2u);
}

TEST(RegistryFile, AFileThatIsNotARegistryFileIsNeitherReadNorReplaced) {
  qvtest::ScratchDir dir("regbad");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  std::string binary(65536, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 7919u) >> 3);
  std::string cut16 = Utf16Bom("Windows Registry Editor Version 5.00\r\n") + "[";
  struct Case {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"64 KB of binary data", binary},
      {"a profile file", "[General]\nServerIP=10.0.0.1\n"},
      {"keys without the export header", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"y\"=\"1\"\n"},
      {"a UTF-16 export cut in a character", cut16},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(qvtest::WriteFile(path, c.bytes));
    EXPECT_EQ(SetX("y", "2"), 1009u) << c.what;
    EXPECT_EQ(plat::RegistryCreateKey(plat::RegRoot::LocalMachine, "SOFTWARE\\Z"), 1009u) << c.what;
    EXPECT_EQ(plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, "SOFTWARE\\X"), 1009u) << c.what;
    EXPECT_EQ(Query(kKeyX, "y"), "<1009>") << c.what;
    EXPECT_TRUE(qvtest::ReadFile(path) == c.bytes) << c.what << ": the file was changed";
  }
  // An empty file is an empty registry, as a missing one is.
  ASSERT_TRUE(qvtest::WriteFile(path, ""));
  EXPECT_EQ(Query(kKeyX, "y"), "<2>");
  EXPECT_EQ(SetX("y", "3"), 0u);
  EXPECT_EQ(Query(kKeyX, "y"), std::string("3\0", 2));
}

TEST(RegistryFile, WritesGoToALinksTargetWithItsModeAndOwner) {
  qvtest::ScratchDir dir("reglink");
  ASSERT_TRUE(plat::MakeDirectory(dir.file("real").c_str()));
  std::string target = dir.file("real") + "/registry.reg";
  std::string link = dir.file("registry.reg");
  ASSERT_TRUE(qvtest::WriteFile(target, "Windows Registry Editor Version 5.00\n"));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(target.c_str(), 1, 1), 0);
  }
  std::filesystem::create_symlink("real/registry.reg", link);
  qvtest::EnvVar env("QVAD_REGISTRY", link);

  ASSERT_EQ(SetX("y", "1"), 0u);
  EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link stays a link";
  EXPECT_NE(qvtest::ReadFile(target).find("\"y\"=\"1\""), std::string::npos) << "the target has the change";
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 1u);
  }
  // Nothing is left beside the target but the file and its lock.
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(dir.file("real"))) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST(RegistryFile, AReadOnlyFileIsRefusedAsAKeyWithoutWriteAccess) {
  qvtest::ScratchDir dir("regro");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  const std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"y\"=\"1\"\n";
  for (mode_t mode : {0444, 0400}) {
    ASSERT_TRUE(qvtest::WriteFile(path, text));
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    EXPECT_EQ(SetX("y", "2"), 5u) << std::oct << mode;
    EXPECT_EQ(plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kKeyX, "y"), 5u) << std::oct << mode;
    EXPECT_EQ(Query(kKeyX, "y"), std::string("1\0", 2)) << "it still reads";
    EXPECT_EQ(qvtest::ReadFile(path), text);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  }
}

// Every service start and every inventory Init reads the file; a registry
// of many keys must not make them wait. Quadratic reading would take 100
// times as long for 10 times the keys; the bound leaves room for caches that
// a larger file no longer fits, and for a busy machine.
TEST(RegistryFile, ReadingTimeGrowsInProportionToTheFile) {
  qvtest::ScratchDir dir("reglinear");
  std::string path = dir.file("r.reg");
  qvtest::EnvVar env("QVAD_REGISTRY", path);
  auto best_read = [&](int keys) {
    std::string text = "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < keys; ++i)
      text += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\Key" + std::to_string(i) + "]\n\"v\"=\"" + std::to_string(i) +
              "\"\n\"n\"=dword:00000001\n";
    EXPECT_TRUE(qvtest::WriteFile(path, text));
    std::string last = "SOFTWARE\\Bulk\\Key" + std::to_string(keys - 1);
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
      auto t0 = std::chrono::steady_clock::now();
      EXPECT_EQ(Query(last.c_str(), "v"), std::to_string(keys - 1) + '\0');
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
  };
  double small = best_read(1000);
  double large = best_read(10000);
  EXPECT_LT(large, 40 * small) << "1000 keys: " << small << " s, 10000 keys: " << large << " s";
}
