// Shared libraries through the dynamic linker.
#include "platform/library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <utility>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

std::string LibraryFileName(const char *plain) { return std::string("lib") + plain + ".so"; }

// The search order of the dynamic linker, made explicit because a dlopen
// through an interposing runtime (a sanitizer, for one) no longer sees the
// RUNPATH of the module that asked: LD_LIBRARY_PATH first, so another
// library can be put in front; then the folder of the module that holds this
// code (what our RUNPATH $ORIGIN names); then the system's own search.
Library LoadLibraryByName(const char *plain) {
  std::string file = LibraryFileName(plain);
  std::string paths = GetEnv("LD_LIBRARY_PATH");
  std::size_t start = 0;
  while (!paths.empty() && start <= paths.size()) {
    std::size_t end = paths.find(':', start);
    std::string dir = paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty()) {
      std::string full = dir + "/" + file;
      if (access(full.c_str(), F_OK) == 0) {
        if (void *lib = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL)) return lib;
      }
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::string self = ModulePath(reinterpret_cast<const void *>(&LoadLibraryByName));
  std::size_t slash = self.rfind('/');
  if (slash != std::string::npos) {
    std::string full = self.substr(0, slash + 1) + file;
    if (access(full.c_str(), F_OK) == 0) {
      if (void *lib = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL)) return lib;
    }
  }
  return LoadLibraryByPath(file.c_str());
}

Library LoadLibraryByPath(const char *path) {
  void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) SetLastError(kErrFileNotFound);
  return lib;
}

void *LibrarySymbol(Library lib, const char *name) {
  void *sym = lib != nullptr ? dlsym(lib, name) : nullptr;
  if (sym == nullptr) SetLastError(127);  // ERROR_PROC_NOT_FOUND
  return sym;
}

void *LibrarySymbolOrdinal(Library lib, unsigned, const char *name) { return LibrarySymbol(lib, name); }

bool LibraryIsLoaded(const char *plain) {
  // Loaded by full path, so look for any loaded object of that file name.
  std::string want = "/" + LibraryFileName(plain);
  bool found = false;
  std::pair<const std::string *, bool *> args(&want, &found);
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *data) -> int {
        auto *args = static_cast<std::pair<const std::string *, bool *> *>(data);
        std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
        const std::string &w = *args->first;
        if (name.size() >= w.size() && name.compare(name.size() - w.size(), w.size(), w) == 0) *args->second = true;
        return 0;
      },
      &args);
  return found;
}

int FreeLibrary(Library lib) {
  if (lib == nullptr || dlclose(lib) != 0) {
    SetLastError(kErrInvalidHandle);
    return 0;
  }
  return 1;
}

}  // namespace plat
