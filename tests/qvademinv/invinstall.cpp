#include "invinstall.h"

#include <filesystem>

#include "cmn/qvadinstall.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace qvtest {

namespace {

std::string Native(std::string p) {
  for (char &c : p) {
    if (c == '/') c = plat::kSep[0];
  }
  return p;
}

void Mk(const std::string &p) { std::filesystem::create_directories(p); }

}  // namespace

InvInstall::InvInstall(const std::string &tag) : dir_(tag) {
  install_ = dir_.file("adapter");
  canned_ = dir_.file("canned");
  fx_ = dir_.file("fxsend");
  trc_ = dir_.file("trace");
  for (const char *sub : {"etc", "bin", "var", "ret", "tmp/hard"}) Mk(Native(install_ + "/" + sub));
  Mk(canned_);
  Mk(fx_);
  Mk(trc_);
  Mk(dir_.file("vrex") + plat::kSep + "etc");
  reg_ = std::make_unique<EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
  zlt_ = std::make_unique<EnvVar>("ZLTGATE_DIR", trc_);
  canned_env_ = std::make_unique<EnvVar>("OVDWQUERY_CANNED", canned_);
  fx_env_ = std::make_unique<EnvVar>("FXSEND_DIR", fx_);
  fx_exit_ = std::make_unique<EnvVar>("FXSEND_EXIT", "0");
  run_env_ = std::make_unique<EnvVar>("QVAD_RUNDIR", dir_.file("run"));
  const char *list_sep = plat::kSep[0] == '\\' ? ";" : ":";
  path_env_ = std::make_unique<EnvVar>("PATH", std::string(QVAD_BIN_DIR) + list_sep + plat::GetEnv("PATH"));
  // The tracer is an outside library found by name; here it is the build's stand-in.
  lib_env_ = std::make_unique<EnvVar>("LD_LIBRARY_PATH", std::string(QVAD_BIN_DIR));
  std::string root = dir_.file("vrex");
  plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root.c_str(),
                    static_cast<std::uint32_t>(root.size() + 1));
  WriteFile(root + plat::kEtcPiece + "nerladapter.env",
            install_ + plat::kBinPiece + plat::LibraryFileName("qvadinv") + "\n" + install_ + "\n");
  SetNnmInstallDir(true);
  WriteIndex();
}

InvInstall::~InvInstall() {
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue);
}

std::string InvInstall::path(const std::string &rel) const { return Native(install_ + "/" + rel); }

std::string InvInstall::trace(const char *channel) const { return ReadFile(trc_ + plat::kSep + channel + ".trc"); }

std::string InvInstall::fxsend_log() const { return ReadFile(fx_ + plat::kSep + "fxsend.log"); }

void InvInstall::WriteEtc(const std::string &name, const std::string &text) const {
  WriteFile(install_ + plat::kEtcPiece + name, text);
}

void InvInstall::Answer(const std::string &query, const std::string &csv) {
  std::string name = "a" + std::to_string(serial_++) + ".csv";
  WriteFile(canned_ + plat::kSep + name, csv);
  index_.push_back(name + "\t" + query);
  WriteIndex();
}

void InvInstall::AnswerFail(const std::string &query, int code) {
  index_.push_back("exit:" + std::to_string(code) + "\t" + query);
  WriteIndex();
}

void InvInstall::AnswerSlow(const std::string &query, const std::string &csv, int ms) {
  std::string name = "a" + std::to_string(serial_++) + ".csv";
  WriteFile(canned_ + plat::kSep + name, csv);
  index_.push_back("delay:" + std::to_string(ms) + ":" + name + "\t" + query);
  WriteIndex();
}

std::string InvInstall::SlowAnswers(const std::string &tag, const std::vector<std::string> &queries, int ms) const {
  std::string dir = dir_.file(tag);
  Mk(dir);
  std::string text;
  for (const auto &line : index_) {
    std::size_t tab = line.find('\t');
    std::string answer = line.substr(0, tab), query = line.substr(tab + 1);
    if (answer.compare(0, 5, "exit:") != 0 && answer.compare(0, 6, "delay:") != 0) {
      std::filesystem::copy_file(canned_ + plat::kSep + answer, dir + plat::kSep + answer,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    bool slow = false;
    for (const auto &q : queries) slow = slow || q == query;
    text += (slow ? "delay:" + std::to_string(ms) + ":" : std::string()) + line + "\n";
  }
  WriteFile(dir + plat::kSep + "index.txt", text);
  return dir;
}

void InvInstall::WriteIndex() const {
  std::string text;
  for (const auto &l : index_) text += l + "\n";
  WriteFile(canned_ + plat::kSep + "index.txt", text);
}

void InvInstall::InstallEngine() const {
  std::string name = plat::LibraryFileName("qvademinv");
  std::filesystem::copy_file(std::string(QVAD_BIN_DIR) + plat::kSep + name, install_ + plat::kBinPiece + name,
                             std::filesystem::copy_options::overwrite_existing);
}

void InvInstall::SetNnmInstallDir(bool present) const {
  if (!present) {
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue);
    return;
  }
  // The tool is the build's own stand-in: <build>/bin/ovdwquery.
  std::string bin = QVAD_BIN_DIR;
  std::string dir = bin.substr(0, bin.size() - 3);
  plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue, plat::kRegSz, dir.c_str(),
                    static_cast<std::uint32_t>(dir.size() + 1));
}

}  // namespace qvtest
