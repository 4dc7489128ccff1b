// A complete adapter installation in a scratch folder for the inventory
// tests: registry values, environment file, install folders, the engine
// library, and the stand-ins (warehouse tool with canned answers, fxsend,
// tracer) pointed into the same folder.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "testutil.h"

namespace qvtest {

class InvInstall {
 public:
  explicit InvInstall(const std::string &tag);
  ~InvInstall();

  const std::string &install() const { return install_; }
  std::string path(const std::string &rel) const;  // install + sep + rel, '/' turned into the separator
  std::string trace(const char *channel) const;    // contents of <channel>.trc
  std::string fxsend_log() const;
  const std::string &fxsend_dir() const { return fx_; }

  void WriteEtc(const std::string &name, const std::string &text) const;
  // The warehouse answers this query text with these CSV bytes, or fails with code.
  void Answer(const std::string &query, const std::string &csv);
  void AnswerFail(const std::string &query, int code);
  // The same answer, given only after ms milliseconds.
  void AnswerSlow(const std::string &query, const std::string &csv, int ms);
  // A second set of canned answers, the same as these except that the
  // queries named take ms milliseconds each: for a host of its own, pointed
  // there with OVDWQUERY_CANNED. Returns its folder.
  std::string SlowAnswers(const std::string &tag, const std::vector<std::string> &queries, int ms) const;
  const std::string &canned() const { return canned_; }
  // Puts the engine library into <install>/bin so the front library can load it.
  void InstallEngine() const;
  // Sets a registry value of the NNM key (InstallDir) to the build folder, or removes it.
  void SetNnmInstallDir(bool present) const;

 private:
  void WriteIndex() const;

  ScratchDir dir_;
  std::string install_, canned_, fx_, trc_;
  std::vector<std::string> index_;
  int serial_ = 0;
  std::unique_ptr<EnvVar> reg_, zlt_, canned_env_, fx_env_, path_env_, fx_exit_, db_env_, run_env_, lib_env_;
};

}  // namespace qvtest
