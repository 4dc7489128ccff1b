// Registry values: the real registry on Win32; on POSIX a file in the
// registry editor's export format at $QVAD_REGISTRY (default
// /etc/qvadnerl/registry.reg). Every result is a Win32 error code; on POSIX
// a file that is not a registry file gives 1009 (ERROR_BADDB) to readers and
// writers alike, and a read-only file 5 to writers.
#pragma once
#include <cstdint>
#include <string>

namespace plat {

enum class RegRoot { LocalMachine, CurrentUser };

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// Opens the key for reading and closes it again: 0 when it exists.
std::uint32_t RegistryKeyExists(RegRoot root, const char *subkey);

// Reads one value as RegQueryValueExA does: *size is the buffer size on entry
// and the data size on return; 234 when the data does not fit (nothing is
// copied), 2 when the key or the value is missing. type may be null.
std::uint32_t RegistryQuery(RegRoot root, const char *subkey, const char *name, std::uint32_t *type, void *data,
                            std::uint32_t *size);

// Creates the key (and its ancestors) when missing.
std::uint32_t RegistryCreateKey(RegRoot root, const char *subkey);

// Creates the key when missing and sets the value.
std::uint32_t RegistrySet(RegRoot root, const char *subkey, const char *name, std::uint32_t type, const void *data,
                          std::uint32_t size);

std::uint32_t RegistryDeleteValue(RegRoot root, const char *subkey, const char *name);

// Deletes a key that has no subkeys, as RegDeleteKeyA does (5 otherwise).
std::uint32_t RegistryDeleteKey(RegRoot root, const char *subkey);

// Where the values live, for messages that tell an operator what to edit:
// the registry file on POSIX, "registry" on Win32.
std::string RegistryLocation();

}  // namespace plat
