// Registry round trips through the platform layer: the real registry under
// Wine, the registry file on POSIX.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

namespace {

const char kKey[] = "SOFTWARE\\QvadTest\\Round";
using plat::RegRoot;

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    Cleanup();
  }
  void TearDown() override { Cleanup(); }
  void Cleanup() {
    for (int i = 0; i < 8; ++i)
      plat::RegistryDeleteKey(RegRoot::LocalMachine, (std::string(kKey) + "\\W" + std::to_string(i)).c_str());
    plat::RegistryDeleteKey(RegRoot::LocalMachine, (std::string(kKey) + "\\Child").c_str());
    plat::RegistryDeleteKey(RegRoot::LocalMachine, kKey);
  }
  std::string QueryString(const char *name, std::uint32_t *type = nullptr) {
    char buf[512];
    std::memset(buf, 0, sizeof buf);
    std::uint32_t size = sizeof buf;
    std::uint32_t t = 0;
    std::uint32_t rc = plat::RegistryQuery(RegRoot::LocalMachine, kKey, name, &t, buf, &size);
    if (type != nullptr) *type = t;
    return rc == 0 ? std::string(buf, size) : "<" + std::to_string(rc) + ">";
  }
  qvtest::ScratchDir dir_{"registry"};
  std::unique_ptr<qvtest::EnvVar> reg_;
};

TEST_F(Registry, RoundTripsEveryTypeWithEscapingAndCaseInsensitiveNames) {
  const std::string text = "C:\\Program Files\\\"Quoted\" \\\\share";
  ASSERT_EQ(plat::RegistrySet(RegRoot::LocalMachine, kKey, "Path", plat::kRegSz, text.c_str(),
                              static_cast<std::uint32_t>(text.size() + 1)),
            0u);
  const char expand[] = "%SystemRoot%\\System32\\RazMessage.dll";
  ASSERT_EQ(
      plat::RegistrySet(RegRoot::LocalMachine, kKey, "EventMessageFile", plat::kRegExpandSz, expand, sizeof expand),
      0u);
  std::uint32_t seven = 7;
  ASSERT_EQ(plat::RegistrySet(RegRoot::LocalMachine, kKey, "TypesSupported", plat::kRegDword, &seven, 4), 0u);
  const char empty[] = "";
  ASSERT_EQ(plat::RegistrySet(RegRoot::LocalMachine, kKey, "Empty", plat::kRegSz, empty, 1), 0u);

  std::uint32_t type = 0;
  EXPECT_EQ(QueryString("path", &type), text + '\0');
  EXPECT_EQ(type, plat::kRegSz);
  EXPECT_EQ(QueryString("EVENTMESSAGEFILE", &type), std::string(expand, sizeof expand));
  EXPECT_EQ(type, plat::kRegExpandSz);
  EXPECT_EQ(QueryString("Empty"), std::string(1, '\0'));

  std::uint32_t value = 0, size = 4;
  EXPECT_EQ(
      plat::RegistryQuery(RegRoot::LocalMachine, "software\\qvadtest\\ROUND", "typessupported", &type, &value, &size),
      0u);
  EXPECT_EQ(type, plat::kRegDword);
  EXPECT_EQ(value, 7u);

  // Overwrite keeps one value; delete removes it.
  ASSERT_EQ(plat::RegistrySet(RegRoot::LocalMachine, kKey, "PATH", plat::kRegSz, "x", 2), 0u);
  EXPECT_EQ(QueryString("Path"), std::string("x\0", 2));
  EXPECT_EQ(plat::RegistryDeleteValue(RegRoot::LocalMachine, kKey, "path"), 0u);
  EXPECT_EQ(QueryString("Path"), "<2>");
  EXPECT_EQ(plat::RegistryDeleteValue(RegRoot::LocalMachine, kKey, "path"), 2u);
}

TEST_F(Registry, MissingKeysValuesAndShortBuffers) {
  EXPECT_EQ(plat::RegistryKeyExists(RegRoot::LocalMachine, kKey), 2u);
  EXPECT_EQ(QueryString("Nothing"), "<2>");
  ASSERT_EQ(plat::RegistrySet(RegRoot::LocalMachine, kKey, "Long", plat::kRegSz, "abcdef", 7), 0u);
  EXPECT_EQ(plat::RegistryKeyExists(RegRoot::LocalMachine, kKey), 0u);
  EXPECT_EQ(QueryString("Nothing"), "<2>");
  char small[4] = {};
  std::uint32_t size = sizeof small;
  EXPECT_EQ(plat::RegistryQuery(RegRoot::LocalMachine, kKey, "Long", nullptr, small, &size), 234u);
  EXPECT_EQ(size, 7u);
  size = 7;
  char fits[7];
  EXPECT_EQ(plat::RegistryQuery(RegRoot::LocalMachine, kKey, "Long", nullptr, fits, &size), 0u);
  EXPECT_STREQ(fits, "abcdef");
}

TEST_F(Registry, KeysWithSubkeysAreNotDeletedAndParentsStay) {
  std::string child = std::string(kKey) + "\\Child";
  ASSERT_EQ(plat::RegistryCreateKey(RegRoot::LocalMachine, child.c_str()), 0u);
  EXPECT_NE(plat::RegistryDeleteKey(RegRoot::LocalMachine, kKey), 0u);
  EXPECT_EQ(plat::RegistryDeleteKey(RegRoot::LocalMachine, child.c_str()), 0u);
  EXPECT_EQ(plat::RegistryKeyExists(RegRoot::LocalMachine, child.c_str()), 2u);
  EXPECT_EQ(plat::RegistryKeyExists(RegRoot::LocalMachine, kKey), 0u);
  EXPECT_EQ(plat::RegistryDeleteKey(RegRoot::LocalMachine, kKey), 0u);
  EXPECT_EQ(plat::RegistryDeleteKey(RegRoot::LocalMachine, kKey), 2u);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 4, kValues = 25;
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([w] {
      std::string key = std::string(kKey) + "\\W" + std::to_string(w);
      for (int i = 0; i < kValues; ++i) {
        std::uint32_t v = static_cast<std::uint32_t>(w * 1000 + i);
        EXPECT_EQ(plat::RegistrySet(RegRoot::LocalMachine, key.c_str(), ("v" + std::to_string(i)).c_str(),
                                    plat::kRegDword, &v, 4),
                  0u);
      }
    });
  }
  for (std::thread &t : threads) t.join();
  for (int w = 0; w < kWriters; ++w) {
    std::string key = std::string(kKey) + "\\W" + std::to_string(w);
    for (int i = 0; i < kValues; ++i) {
      std::uint32_t v = 0, size = 4;
      ASSERT_EQ(plat::RegistryQuery(RegRoot::LocalMachine, key.c_str(), ("v" + std::to_string(i)).c_str(), nullptr, &v,
                                    &size),
                0u);
      EXPECT_EQ(v, static_cast<std::uint32_t>(w * 1000 + i));
    }
  }
}

}  // namespace
