// Loading libraries on POSIX as the Win32 loader behaves: the first file
// found by plain name ends the search, and a failed load says why in the
// codes LoadLibraryA gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/library.h"
#include "platform/sys.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

const std::string kTracer = std::string(QVAD_BIN_DIR) + "/" + plat::LibraryFileName("zltgate");

class PosixLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *d : {"text", "empty", "class", "none", "good"}) fs::create_directories(dir_.file(d));
    ASSERT_TRUE(qvtest::WriteFile(In("text"), "not a library\n"));
    ASSERT_TRUE(qvtest::WriteFile(In("empty"), ""));
    // A real image of the other word size: our tracer with its class byte changed.
    std::string image = qvtest::ReadFile(kTracer);
    ASSERT_GT(image.size(), 16u);
    image[4] = image[4] == 2 ? 1 : 2;
    ASSERT_TRUE(qvtest::WriteFile(In("class"), image));
    fs::copy_file(kTracer, In("good"));
  }
  std::string In(const char *folder) const { return dir_.file(folder) + "/" + plat::LibraryFileName("zltgate"); }

  qvtest::ScratchDir dir_{"posixlib"};
};

TEST_F(PosixLibrary, FailedLoadsGiveTheWin32Code) {
  struct Case {
    std::string path;
    std::uint32_t code;
  } cases[] = {
      {In("none"), plat::kErrModNotFound},
      {In("text"), plat::kErrBadExeFormat},
      {In("empty"), plat::kErrBadExeFormat},
      {In("class"), plat::kErrBadExeFormat},
      {"libqvadnosuchlibrary.so", plat::kErrModNotFound},  // by the system's search
      {std::string(QVAD_FIXTURE_DIR) + "/unresolved/libunresolved.so", plat::kErrProcNotFound},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    plat::SetLastError(0);
    plat::Library lib = plat::LoadLibraryByPath(c.path.c_str());
    EXPECT_EQ(lib, nullptr);
    if (lib != nullptr) plat::FreeLibrary(lib);
    EXPECT_EQ(plat::LastError(), c.code);
  }
}

TEST_F(PosixLibrary, TheFirstFileFoundByNameEndsTheSearch) {
  struct Case {
    std::string first;
    bool loads;
    std::uint32_t code;
  } cases[] = {
      {dir_.file("none"), true, 0},  // a folder without the file: the search goes on
      {dir_.file("text"), false, plat::kErrBadExeFormat},
      {dir_.file("class"), false, plat::kErrBadExeFormat},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.first);
    qvtest::EnvVar path("LD_LIBRARY_PATH", c.first + ":" + dir_.file("good"));
    plat::Library lib = plat::LoadLibraryByName("zltgate");
    EXPECT_EQ(lib != nullptr, c.loads);
    if (lib != nullptr) {
      plat::FreeLibrary(lib);
    } else {
      EXPECT_EQ(plat::LastError(), c.code);
    }
  }
}

TEST_F(PosixLibrary, AToolWithABrokenTracerInFrontTracesNothing) {
  // The tool's own folder holds a working tracer: without the search ending
  // at the broken one, it would be taken silently instead.
  for (bool broken : {false, true}) {
    SCOPED_TRACE(broken ? "broken tracer first" : "no tracer first");
    std::string trc = dir_.file(broken ? "trc-broken" : "trc-none");
    fs::create_directories(trc);
    qvtest::EnvVar zlt("ZLTGATE_DIR", trc);
    qvtest::EnvVar path("LD_LIBRARY_PATH", dir_.file(broken ? "text" : "none"));
    EXPECT_EQ(qvtest::Run("\"" + qvtest::BinPath("qvadrepini") + "\" -x", dir_.file("out.txt")), 22);
    EXPECT_EQ(qvtest::Exists(trc + "/QvAdnerl04.trc"), !broken);
  }
}

}  // namespace
