// Result files read once per cache scope.
#include "cmn/qvadmiscinv/qvadresultfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "cmn/qvadmiscinv/qvadfield.h"
#include "platform/sys.h"

struct QvadCachedResult {
  std::vector<std::string> lines;
  int end_result = 1;  // what the reader returned after the last line
  QVAD_ERROR_TBL end_error{};
};

namespace {

constexpr std::size_t kCacheByteLimit = 8u << 20;

struct Cache {
  int depth = 0;
  std::map<std::string, std::shared_ptr<const QvadCachedResult>> files;
};
Cache g_cache;

// Reads the whole file as the line reader would deliver it; null when it is
// too large to keep.
std::shared_ptr<const QvadCachedResult> ReadAll(std::FILE *file) {
  auto result = std::make_shared<QvadCachedResult>();
  std::size_t bytes = 0;
  for (;;) {
    char *line = nullptr;
    int rc = Qvad_FieldGetMem(file, &line, &result->end_error);
    if (rc != 0) {
      result->end_result = rc;
      return result;
    }
    std::size_t n = std::strlen(line);
    bytes += n + sizeof(std::string);
    result->lines.emplace_back(line, n);
    std::free(line);
    if (bytes > kCacheByteLimit) return nullptr;
  }
}

}  // namespace

void Qvad_InvResultCacheBegin() { ++g_cache.depth; }

void Qvad_InvResultCacheEnd() {
  if (g_cache.depth > 0 && --g_cache.depth == 0) g_cache.files.clear();
}

QvadResultFile::~QvadResultFile() {
  std::free(line_);
  if (file_ != nullptr) std::fclose(file_);
}

bool QvadResultFile::Open(const std::string &path, int *error_number) {
  if (g_cache.depth > 0) {
    auto it = g_cache.files.find(path);
    if (it != g_cache.files.end()) {
      cached_ = it->second;
      return true;
    }
  }
  errno = 0;
  // The stem comes from a definition: its letter case need not be the file's.
  file_ = plat::OpenFileAnyCase(path.c_str(), "rb");
  if (file_ == nullptr) {
    if (error_number != nullptr) *error_number = errno;
    return false;
  }
  if (g_cache.depth > 0) {
    auto all = ReadAll(file_);
    if (all != nullptr) {
      g_cache.files[path] = all;
      cached_ = all;
      std::fclose(file_);
      file_ = nullptr;
    } else {
      std::rewind(file_);  // too large to keep: read it like any other
    }
  }
  return true;
}

int QvadResultFile::Next(const char **line, QVAD_ERROR_TBL *err) {
  *line = nullptr;
  if (cached_ != nullptr) {
    if (index_ < cached_->lines.size()) {
      *line = cached_->lines[index_++].c_str();
      return 0;
    }
    if (cached_->end_result == -1 && err != nullptr) *err = cached_->end_error;
    return cached_->end_result;
  }
  std::free(line_);
  line_ = nullptr;
  int rc = Qvad_FieldGetMem(file_, &line_, err);
  if (rc == 0) *line = line_;
  return rc;
}

int QvadResultFile::Skip(std::size_t count, QVAD_ERROR_TBL *err) {
  if (cached_ != nullptr) {
    std::size_t left = cached_->lines.size() - index_;
    if (count <= left) {
      index_ += count;
      return 0;
    }
    index_ = cached_->lines.size();
    const char *unused = nullptr;
    return Next(&unused, err);
  }
  for (; count > 0; --count) {
    const char *unused = nullptr;
    int rc = Next(&unused, err);
    if (rc != 0) return rc;
  }
  return 0;
}
