// Shared libraries loaded at run time and their entry points bound by name.
#pragma once
#include <string>

namespace plat {

// A loaded library.
struct LibraryObject;
using Library = LibraryObject *;

// The file name of a library of ours from its plain name:
// "zltgate" -> "zltgate.dll" on Win32, "libzltgate.so" on POSIX.
std::string LibraryFileName(const char *plain);

// Loads by plain name through the platform's library search order.
Library LoadLibraryByName(const char *plain);
// Loads the file at exactly this path.
Library LoadLibraryByPath(const char *path);
// Entry point by name, or null; sets the last error when missing.
void *LibrarySymbol(Library lib, const char *name);
// Entry point by export ordinal (Win32); POSIX has no ordinals and looks up the name.
void *LibrarySymbolOrdinal(Library lib, unsigned ordinal, const char *name);
// Whether a library of ours with this plain name is loaded in the process now.
bool LibraryIsLoaded(const char *plain);
// Releases one reference. Returns non-zero on success, as FreeLibrary does.
int FreeLibrary(Library lib);

}  // namespace plat
