// Reading profile files (*.ini) with the documented behaviour of the
// platform's GetPrivateProfileStringA and GetPrivateProfileIntA, on both
// platforms: case-insensitive section and key names, blanks around names and
// values trimmed, a value in matching quotes returned without them, section
// key listings as NUL-terminated names ended by a second NUL, and the same
// truncation and return values. A file is parsed once and kept until it
// changes on disk.
#pragma once
#include <cstdint>

// As GetPrivateProfileStringA: a null key lists the section's keys, a null
// section lists the sections. Returns the number of characters copied,
// without the terminating NUL.
std::uint32_t QvadGetPrivateProfileString(const char *section, const char *key, const char *default_value,
                                          char *buffer, std::uint32_t size, const char *file);

// As GetPrivateProfileIntA.
std::uint32_t QvadGetPrivateProfileInt(const char *section, const char *key, int default_value, const char *file);
