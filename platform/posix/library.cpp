// Shared libraries through the dynamic linker.
#include "platform/library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

std::string LibraryFileName(const char *plain) { return std::string("lib") + plain + ".so"; }

namespace {

// The first bytes of an ELF file: enough to tell whether it is a shared
// object this process could map at all.
bool ReadElfHeader(const char *path, ElfW(Ehdr) * header, int *error) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  ssize_t n = read(fd, header, sizeof *header);
  *error = n < 0 ? errno : 0;
  close(fd);
  return n == static_cast<ssize_t>(sizeof *header);
}

// Whether the file is an image of the kind this process loads: ELF, of our
// word size, byte order and machine, and a shared object.
bool LoadableImage(const ElfW(Ehdr) & h) {
  static const ElfW(Ehdr) *const self = [] {
    static ElfW(Ehdr) own{};
    int error = 0;
    ReadElfHeader("/proc/self/exe", &own, &error);
    return &own;
  }();
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) return false;
  if (h.e_ident[EI_CLASS] != self->e_ident[EI_CLASS] || h.e_ident[EI_DATA] != self->e_ident[EI_DATA]) return false;
  return h.e_machine == self->e_machine && h.e_type == ET_DYN;
}

// The Win32 code LoadLibraryA gives for the same cause: 126 when the file,
// or a library it needs, is missing; 193 when it is not a loadable image;
// 127 when a function it imports is missing; 5 when it cannot be read. A
// file named by its path is examined first, so the common causes do not
// depend on the loader's message text.
std::uint32_t LoadFailure(const char *path, const char *message) {
  std::string text = message != nullptr ? message : "";
  if (std::strchr(path, '/') != nullptr) {
    struct stat st {};
    if (stat(path, &st) != 0) return errno == EACCES ? kErrAccessDenied : kErrModNotFound;
    if (!S_ISREG(st.st_mode)) return kErrModNotFound;  // a folder, as the Win32 loader answers
    ElfW(Ehdr) header{};
    int error = 0;
    if (!ReadElfHeader(path, &header, &error)) return error != 0 ? ErrorFromErrno(error) : kErrBadExeFormat;
    if (!LoadableImage(header)) return kErrBadExeFormat;
  }
  // The file itself looks loadable (or was looked for by the system's
  // search): the loader's message tells what it lacks.
  if (text.find("undefined symbol") != std::string::npos) return kErrProcNotFound;
  if (text.find("invalid ELF header") != std::string::npos || text.find("wrong ELF class") != std::string::npos ||
      text.find("file too short") != std::string::npos)
    return kErrBadExeFormat;
  return kErrModNotFound;
}

}  // namespace

// The search order of the dynamic linker, made explicit because a dlopen
// through an interposing runtime (a sanitizer, for one) no longer sees the
// RUNPATH of the module that asked: LD_LIBRARY_PATH first, so another
// library can be put in front; then the folder of the module that holds this
// code (what our RUNPATH $ORIGIN names); then the system's own search. The
// first file found ends the search, whether it loads or not, as on both
// platforms' own loaders: a broken tracer in front is a failure to see, not
// a reason to quietly take another one from further down the path.
Library LoadLibraryByName(const char *plain) {
  std::string file = LibraryFileName(plain);
  std::string paths = GetEnv("LD_LIBRARY_PATH");
  std::size_t start = 0;
  while (!paths.empty() && start <= paths.size()) {
    std::size_t end = paths.find(':', start);
    std::string dir = paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty()) {
      std::string full = dir + "/" + file;
      if (access(full.c_str(), F_OK) == 0) return LoadLibraryByPath(full.c_str());
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::string self = ModulePath(reinterpret_cast<const void *>(&LoadLibraryByName));
  std::size_t slash = self.rfind('/');
  if (slash != std::string::npos) {
    std::string full = self.substr(0, slash + 1) + file;
    if (access(full.c_str(), F_OK) == 0) return LoadLibraryByPath(full.c_str());
  }
  return LoadLibraryByPath(file.c_str());
}

Library LoadLibraryByPath(const char *path) {
  void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) SetLastError(LoadFailure(path, dlerror()));
  return static_cast<Library>(lib);
}

void *LibrarySymbol(Library lib, const char *name) {
  void *sym = lib != nullptr ? dlsym(lib, name) : nullptr;
  if (sym == nullptr) SetLastError(kErrProcNotFound);
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
