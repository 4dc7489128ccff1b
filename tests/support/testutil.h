// Small helpers the tests share: scratch folders, whole-file reads and
// writes, running a program as its callers do.
#pragma once
#include <string>
#include <vector>

namespace qvtest {

// A fresh, empty folder under the temp folder, removed again by the destructor.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string &tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::string &path() const { return path_; }
  // path() + separator + name
  std::string file(const std::string &name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string &path);                      // bytes as they are on disk; empty when missing
bool WriteFile(const std::string &path, const std::string &bytes);  // bytes exactly
bool Exists(const std::string &path);
void RemoveTree(const std::string &path);

// Runs a command line to its end; returns its exit code, or -1 when it
// cannot be started. Standard output and error go to out_file when given.
int Run(const std::string &command_line, const std::string &out_file = "", const std::string &directory = "");

// Full path of a program or library built into bin/ or fixtures/.
std::string BinPath(const std::string &name);      // name without suffix; ".exe" added on Win32
std::string FixturePath(const std::string &name);  // likewise, in fixtures/

// Lines of a text, line ends (LF or CR LF) removed.
std::vector<std::string> Lines(const std::string &text);

// One entry of a tracer stand-in file: "... src=<file>:<line> code=<code> | <text>".
struct TraceEntry {
  std::string file;
  int line = 0;
  int code = 0;
  std::string text;
};
std::vector<TraceEntry> TraceEntries(const std::string &trace);
// Whether a source path names this file, given with '/' ("cmn/qvadrmenv/qvadrmenv.cpp").
bool SourceIs(const std::string &source, const std::string &tail);

// Sets an environment variable for the test's lifetime and restores it after.
class EnvVar {
 public:
  EnvVar(const char *name, const std::string &value);
  ~EnvVar();
  EnvVar(const EnvVar &) = delete;
  EnvVar &operator=(const EnvVar &) = delete;

 private:
  std::string name_, old_;
  bool had_;
};

}  // namespace qvtest
