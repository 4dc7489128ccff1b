// The file tools on a full disk: a tmpfs of a few pages mounted over the
// folder the tool writes to, in a mount namespace that only the one run
// sees, so no mount outlives it whatever happens. Skipped where namespaces
// or tmpfs mounts are not allowed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "../toolrun.h"
#include "cmn/qvadinstall.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {

using tooltest::Q;

// Mounts a tmpfs on $1, puts the old content (if any) in $2, fills the
// disk, runs the rest of the command line and reports the status and what
// the folder then holds.
const char kScript[] = R"(dir=$1; file=$2; old=$3; shift 3
mount -t tmpfs -o size=16k tmpfs "$dir" 2>/dev/null || exit 77
[ -n "$old" ] && printf %s "$old" > "$dir/$file"
cat /dev/zero > "$dir/fill" 2>/dev/null
"$@" >/dev/null 2>&1
echo "rc=$?"
LC_ALL=C ls -A "$dir" | tr '\n' ' '; echo
[ -f "$dir/$file" ] && cat "$dir/$file"
exit 0
)";

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    install_ = dir_.file("nerl");
    root_ = dir_.file("vrex");
    for (const std::string &d : {install_, install_ + "/etc", root_, root_ + "/etc"}) plat::MakeDirectory(d.c_str());
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root_.c_str(),
                                static_cast<std::uint32_t>(root_.size() + 1)),
              0u);
    ASSERT_TRUE(qvtest::WriteFile(dir_.file("full.sh"), kScript));
  }
  // The lines the script printed: status, folder listing, file content.
  std::string RunFull(const std::string &etc, const std::string &file, const std::string &old, const std::string &tool,
                      const std::string &args) {
    std::string ns = geteuid() == 0 ? "unshare -m" : "unshare -r -m";
    std::string out = dir_.file("full.out");
    int rc = qvtest::Run(ns + " /bin/sh " + Q(dir_.file("full.sh")) + " " + Q(etc) + " " + Q(file) + " " + Q(old) +
                             " " + Q(qvtest::BinPath(tool)) + " " + args,
                         out, dir_.path());
    if (rc != 0) return "";
    return qvtest::ReadFile(out);
  }

  qvtest::ScratchDir dir_{"fulldisk"};
  std::unique_ptr<qvtest::EnvVar> reg_;
  std::string install_, root_;
};

TEST_F(FullDisk, AFailedWriteIsTheWriteFailureAndLeavesTheOldFile) {
  std::string log = dir_.file("log");
  const std::string site(127, 's');
  struct Case {
    const char *tool;
    std::string etc, file, args, message;
  } tools[] = {
      {"qvadrepini", install_ + "/etc", "RepInfo.ini",
       "-p " + Q(install_) + " -i 10.0.0.1 -t 1 -s 2 -n " + site + " -o " + Q(log),
       "qvadrepini error write Repinfo.ini:" + std::to_string(ENOSPC) + "."},
      {"qvademenv", root_ + "/etc", "nerladapter.env", "-p " + Q(install_) + " -o " + Q(log),
       "qvademenv error write env file."},
  };
  for (const auto &t : tools) {
    // A file from an earlier run stays whole; without one, none appears.
    for (const std::string old : {"written by an earlier run", ""}) {
      std::string got = RunFull(t.etc, t.file, old, t.tool, t.args);
      if (got.empty()) GTEST_SKIP() << "no tmpfs in a private mount namespace here";
      std::string listing = "fill ";
      if (!old.empty()) listing = t.file < "fill" ? t.file + " fill " : "fill " + t.file + " ";
      EXPECT_EQ(got, "rc=4\n" + listing + "\n" + old) << t.tool << " over '" << old << "'";
      EXPECT_EQ(qvtest::ReadFile(log), t.message) << t.tool;
    }
  }
}

}  // namespace
