// Shared libraries through LoadLibraryA and GetProcAddress.
#include "platform/library.h"

#include <windows.h>

namespace plat {

std::string LibraryFileName(const char *plain) { return std::string(plain) + ".dll"; }

Library LoadLibraryByName(const char *plain) { return reinterpret_cast<Library>(::LoadLibraryA(plain)); }

Library LoadLibraryByPath(const char *path) { return reinterpret_cast<Library>(::LoadLibraryA(path)); }

void *LibrarySymbol(Library lib, const char *name) {
  return reinterpret_cast<void *>(::GetProcAddress(reinterpret_cast<HMODULE>(lib), name));
}

void *LibrarySymbolOrdinal(Library lib, unsigned ordinal, const char *) {
  return reinterpret_cast<void *>(
      ::GetProcAddress(reinterpret_cast<HMODULE>(lib), reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
}

bool LibraryIsLoaded(const char *plain) { return ::GetModuleHandleA(LibraryFileName(plain).c_str()) != nullptr; }

int FreeLibrary(Library lib) { return ::FreeLibrary(reinterpret_cast<HMODULE>(lib)) ? 1 : 0; }

}  // namespace plat
