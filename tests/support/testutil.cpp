#include "testutil.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process.h"
#include "platform/sys.h"

namespace fs = std::filesystem;

namespace qvtest {

ScratchDir::ScratchDir(const std::string &tag) {
  static std::atomic<int> serial{0};
  path_ = plat::TempDir() + plat::kSep + "qvadtest-" + tag + "-" + std::to_string(plat::ProcessId()) + "-" +
          std::to_string(serial++);
  std::error_code ec;
  fs::remove_all(path_, ec);
  fs::create_directories(path_, ec);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ScratchDir::file(const std::string &name) const { return path_ + plat::kSep + name; }

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

bool Exists(const std::string &path) { return plat::FileExists(path.c_str()); }

void RemoveTree(const std::string &path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

int Run(const std::string &command_line, const std::string &out_file, const std::string &directory) {
  plat::ProcessOptions opt;
  std::FILE *out = nullptr;
  if (!out_file.empty()) {
    out = std::fopen(out_file.c_str(), "wb");
    if (out == nullptr) return -1;
  }
  plat::FileHandle h = plat::kInvalidFile;
  if (out != nullptr) h = plat::FileHandleOf(out);
  opt.std_out = h;
  opt.std_err = h;
  if (!directory.empty()) opt.directory = directory.c_str();
  plat::Process p;
  bool ok = plat::StartProcess(command_line.c_str(), opt, &p);
  if (out != nullptr) std::fclose(out);
  if (!ok) return -1;
  plat::WaitProcess(p.handle, 0xFFFFFFFFu);
  std::uint32_t code = 0;
  plat::ProcessExitCode(p.handle, &code);
  plat::CloseProcess(p.handle);
  return static_cast<int>(code);
}

std::string BinPath(const std::string &name) {
  return std::string(QVAD_BIN_DIR) + plat::kSep + name + plat::kExeSuffix;
}

std::string FixturePath(const std::string &name) {
  return std::string(QVAD_FIXTURE_DIR) + plat::kSep + name + plat::kExeSuffix;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

std::vector<TraceEntry> TraceEntries(const std::string &trace) {
  std::vector<TraceEntry> out;
  for (const std::string &l : Lines(trace)) {
    std::size_t src = l.find(" src="), code = l.find(" code="), bar = l.find(" | ");
    if (src == std::string::npos || code == std::string::npos || bar == std::string::npos || code < src) continue;
    std::string where = l.substr(src + 5, code - src - 5);
    std::size_t colon = where.rfind(':');
    if (colon == std::string::npos) continue;
    out.push_back({where.substr(0, colon), std::atoi(where.c_str() + colon + 1), std::atoi(l.c_str() + code + 6),
                   l.substr(bar + 3)});
  }
  return out;
}

bool SourceIs(const std::string &source, const std::string &tail) {
  std::string s = source;
  for (char &c : s) {
    if (c == '\\') c = '/';
  }
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0 &&
         (s.size() == tail.size() || s[s.size() - tail.size() - 1] == '/');
}

EnvVar::EnvVar(const char *name, const std::string &value) : name_(name) {
  const char *old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  plat::SetEnv(name, value.c_str());
}

EnvVar::~EnvVar() { plat::SetEnv(name_.c_str(), had_ ? old_.c_str() : nullptr); }

}  // namespace qvtest
