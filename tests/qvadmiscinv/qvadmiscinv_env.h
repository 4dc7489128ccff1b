// An adapter install in a scratch folder for the engine's tests: the
// registry names the asset root, whose environment file names the install
// directory; RazInv.ini and result files are written below it.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cmn/qvadinstall.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "testutil.h"

namespace qvtest {

class InstallDir {
 public:
  InstallDir() {
    root_ = dir_.file("vrex");
    install_ = dir_.file("nerl");
    for (const std::string &d : {root_, root_ + kSepS + "etc", install_, install_ + kSepS + "etc",
                                 install_ + kSepS + "tmp", install_ + kSepS + "tmp" + kSepS + "hard"})
      plat::MakeDirectory(d.c_str());
    plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root_.c_str(),
                      static_cast<std::uint32_t>(root_.size() + 1));
    WriteFile(root_ + plat::kEtcPiece + kQvadEnvFileName,
              install_ + plat::kBinPiece + "qvadinv\r\n" + install_ + "\r\n");
  }
  const std::string &path() const { return install_; }
  std::string etc(const std::string &name) const { return install_ + plat::kEtcPiece + name; }
  // The query result directory, with its separator at the end.
  std::string hard() const { return install_ + kSepS + "tmp" + kSepS + "hard" + kSepS; }
  void WriteRazInv(const std::string &text) const { WriteFile(etc("RazInv.ini"), text); }
  void WriteResult(const std::string &stem, const std::string &text) const { WriteFile(hard() + stem + ".csv", text); }
  const ScratchDir &scratch() const { return dir_; }
  // Event-log reports so far, one line each, where the platform's event log
  // is a file we can read (POSIX); nullopt where it is the real event log.
  std::optional<std::vector<std::string>> Events() const {
    if (plat::kExeSuffix[0] != '\0') return std::nullopt;
    return Lines(ReadFile(dir_.file("events.log")));
  }
  void ClearEvents() const { WriteFile(dir_.file("events.log"), ""); }

 private:
  const std::string kSepS = plat::kSep;
  ScratchDir dir_{"inv1"};
  EnvVar reg_{"QVAD_REGISTRY", dir_.file("registry.reg")};
  EnvVar trc_{"ZLTGATE_DIR", dir_.path()};
  EnvVar evt_{"QVAD_EVENTLOG_FILE", dir_.file("events.log")};
  std::string root_, install_;
};

}  // namespace qvtest
