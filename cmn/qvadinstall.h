// The registry string reader and the install-directory reader: the adapter
// keeps its install directory in nerladapter.env, in the etc folder of the
// asset component's root directory, which the registry names.
#pragma once
#include <cstdint>

#include "platform/registry.h"

// Key and value that name the asset component's root directory.
inline constexpr const char kQvadVrexKey[] = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex";
inline constexpr const char kQvadVrexValue[] = "vrexroot";
inline constexpr const char kQvadEnvFileName[] = "nerladapter.env";

// Result when the root directory or a line of the environment file is too
// long for the reader's 260-byte buffers (ERROR_FILENAME_EXCED_RANGE).
inline constexpr std::int32_t kQvadPathTooLong = 206;

// Reads a value's raw data into the buffer: 0, or the registry's error code.
std::int32_t QvadGetRegistryData(plat::RegRoot root, const char *subkey, const char *value, void *buffer,
                                 std::uint32_t size);

// The asset component's root directory into a cleared buffer: 0, the
// registry's error code, or kQvadPathTooLong when the value fills the whole
// buffer and so has no terminator of its own.
std::int32_t QvadGetRootDir(char *root, std::uint32_t size);

// The install directory from line 2 of the environment file: 0, a registry
// error code, 2 (file cannot be opened), 3 (fewer than two lines), 22 (line
// does not fit the caller's buffer) or kQvadPathTooLong.
std::int32_t QvadGetInstallPathForDll(char *buffer, std::uint32_t size);

// The environment file path for a root directory, into a 260-byte buffer;
// false when it does not fit.
bool QvadEnvFilePath(const char *root, char *path, std::uint32_t size);
