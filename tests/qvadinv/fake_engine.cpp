// An engine for the front library's tests: records every call in
// $FAKE_ENGINE_LOG and answers Init with $FAKE_ENGINE_INIT. Built complete,
// without its close entry point, and needing a library of its own.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef FAKE_NEEDS_LIBRARY
extern "C" int FakeEngineNeeded(void);
#endif

namespace {
void Log(const char *what) {
  const char *path = std::getenv("FAKE_ENGINE_LOG");
  if (path == nullptr) return;
  if (std::FILE *f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", what);
    std::fclose(f);
  }
}
}  // namespace

extern "C" {
std::int32_t Qvad_EmInvInit(void) {
  Log("init");
#ifdef FAKE_NEEDS_LIBRARY
  if (FakeEngineNeeded() != 0) return -1;
#endif
  const char *r = std::getenv("FAKE_ENGINE_INIT");
  return r != nullptr ? std::atoi(r) : 0;
}
std::int32_t Qvad_EmInvFile(void *info) {
  // The front library hands the record over zeroed.
  const unsigned char *p = static_cast<const unsigned char *>(info);
  bool zero = true;
  for (int i = 0; i < 429; ++i) zero = zero && p[i] == 0;
  Log(zero ? "file zeroed" : "file dirty");
  std::snprintf(static_cast<char *>(info) + 260, 129, "%s", "fake-node");
  return 7;
}
#ifndef FAKE_WITHOUT_CLOSE
std::int32_t Qvad_EmInvClose(void) {
  Log("close");
  return 1;
}
#endif
}
