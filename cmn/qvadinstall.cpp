// Registry string reader and install-directory reader.
#include "cmn/qvadinstall.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "cmn/qvadhold.h"
#include "platform/sys.h"

std::int32_t QvadGetRegistryData(plat::RegRoot root, const char *subkey, const char *value, void *buffer,
                                 std::uint32_t size) {
  std::uint32_t type = 0;
  std::uint32_t n = size;
  // Opens the key for reading, queries the value with the caller's size and
  // closes the key; the value's type is not looked at.
  return static_cast<std::int32_t>(plat::RegistryQuery(root, subkey, value, &type, buffer, &n));
}

std::int32_t QvadGetRootDir(char *root, std::uint32_t size) {
  std::memset(root, 0, size);
  std::int32_t rc = QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, root, size);
  if (rc != 0) return rc;
  if (std::memchr(root, '\0', size) == nullptr) return kQvadPathTooLong;
  return 0;
}

bool QvadEnvFilePath(const char *root, char *path, std::uint32_t size) {
  std::memset(path, 0, size);
  int n = std::snprintf(path, size, "%s%s%s", root, plat::kEtcPiece, kQvadEnvFileName);
  return n >= 0 && static_cast<std::uint32_t>(n) < size;
}

namespace {

enum class LineRead { Ok, Eof, TooLong };

// Reads one line of at most 259 characters into a cleared 260-byte buffer.
// A line that fills the buffer without its line feed, with more text after
// it, would otherwise be read as two lines: it is refused instead.
LineRead ReadLine(std::FILE *f, char *work, int size) {
  std::memset(work, 0, static_cast<std::size_t>(size));
  if (std::fgets(work, size, f) == nullptr) return LineRead::Eof;
  std::size_t len = std::strlen(work);
  if (len == static_cast<std::size_t>(size - 1) && work[len - 1] != '\n') {
    int c = std::fgetc(f);
    if (c != EOF) return LineRead::TooLong;
  }
  return LineRead::Ok;
}

}  // namespace

std::int32_t QvadGetInstallPathForDll(char *buffer, std::uint32_t size) {
  char work[260];
  std::int32_t rc = QvadGetRootDir(work, sizeof work);
  if (rc != 0) return rc;

  char path[260];
  if (!QvadEnvFilePath(work, path, sizeof path)) return kQvadPathTooLong;
  QvadFile f(std::fopen(path, "r"));
  if (!f) return 2;
  for (int i = 0; i < 2; ++i) {
    LineRead r = ReadLine(f.get(), work, sizeof work);
    if (r == LineRead::Eof) return 3;
    if (r == LineRead::TooLong) return kQvadPathTooLong;
  }
  f.reset();

  std::size_t len = std::strlen(work);
  if (buffer == nullptr || len >= size) return 22;
  if (char *lf = std::strrchr(work, '\n')) *lf = '\0';
  if (char *cr = std::strrchr(work, '\r')) *cr = '\0';
  std::memcpy(buffer, work, std::strlen(work) + 1);
  return 0;
}
