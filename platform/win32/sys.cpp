// Process facts, paths and atomic file replacement on Win32.
#include "platform/sys.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/error.h"

namespace plat {

const char kSep[] = "\\";
const char kExeSuffix[] = ".exe";
const char kEtcPiece[] = "\\etc\\";
const char kMessageLibraryFile[] = "RazMessage.dll";
const char kBinPiece[] = "\\bin\\";

std::uint32_t ProcessId() { return ::GetCurrentProcessId(); }

std::uint32_t ThreadNumber() {
  static std::atomic<std::uint32_t> next{0};
  thread_local std::uint32_t mine = next++;
  return mine;
}

std::int64_t NowMillis() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  return static_cast<std::int64_t>((u.QuadPart - 116444736000000000ULL) / 10000);
}

// Milliseconds since the system started: not moved by setting the clock,
// and 64 bits wide, so it does not wrap after 49 days as GetTickCount does.
std::int64_t MonotonicMillis() { return static_cast<std::int64_t>(::GetTickCount64()); }

std::string ModulePath(const void *address_in_module) {
  HMODULE mod = nullptr;
  if (address_in_module != nullptr) {
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCSTR>(address_in_module), &mod);
  }
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetModuleFileNameA(mod, buf, MAX_PATH);
  return std::string(buf, n);
}

std::string GetEnv(const char *name) {
  char buf[32768];
  DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return {};
  return std::string(buf, n);
}

bool SetEnv(const char *name, const char *value) {
  // Both the process environment and the C runtime's copy, so getenv agrees.
  std::string entry = std::string(name) + "=" + (value != nullptr ? value : "");
  _putenv(entry.c_str());
  return ::SetEnvironmentVariableA(name, value) != 0;
}

std::string TempDir() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  std::string t(buf, n);
  while (t.size() > 3 && (t.back() == '\\' || t.back() == '/')) t.pop_back();
  return t.empty() ? "C:\\Windows\\Temp" : t;
}

std::string RuntimeDir(std::string *refusal) {
  if (refusal != nullptr) refusal->clear();
  std::string env = GetEnv("QVAD_RUNDIR");
  if (!env.empty()) {
    ::CreateDirectoryA(env.c_str(), nullptr);
    return env;
  }
  return TempDir();
}

bool FileExists(const char *path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool CanRunProgram(const char *path) {
  DWORD a = ::GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Windows file names never depend on letter case.
std::FILE *OpenFileAnyCase(const char *path, const char *mode) { return std::fopen(path, mode); }

bool MakeDirectory(const char *path) {
  return ::CreateDirectoryA(path, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveFolder(const char *path) {
  std::string folder(path);
  WIN32_FIND_DATAA found;
  HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        ::DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (::FindNextFileA(h, &found));
    ::FindClose(h);
  }
  if (::RemoveDirectoryA(path)) return true;
  DWORD e = ::GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

std::uint32_t ReplaceFileAtomically(const char *path, const void *data, std::size_t size, bool durable) {
  // One fixed temporary name per file: a writer killed half-way leaves one
  // stray file that the next write replaces, not one per process.
  std::string tmp = std::string(path) + ".tmp";
  HANDLE h = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | (durable ? FILE_FLAG_WRITE_THROUGH : 0), nullptr);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
  DWORD done = 0;
  BOOL ok = size == 0 || ::WriteFile(h, data, static_cast<DWORD>(size), &done, nullptr);
  if (ok && done != size) {
    ok = FALSE;
    ::SetLastError(ERROR_DISK_FULL);
  }
  if (ok && durable) ok = ::FlushFileBuffers(h);
  DWORD err = ok ? 0 : ::GetLastError();
  ::CloseHandle(h);
  if (!ok) {
    ::DeleteFileA(tmp.c_str());
    return err;
  }
  if (!::MoveFileExA(tmp.c_str(), path, MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0))) {
    err = ::GetLastError();
    ::DeleteFileA(tmp.c_str());
    return err;
  }
  return 0;
}

}  // namespace plat
