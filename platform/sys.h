// Process-wide facts and the small pieces of path syntax that differ
// between the platforms.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace plat {

// Directory separator as text, and the pieces the system appends to its
// install directories: "\\etc\\" and ".exe" on Win32, "/etc/" and "" on POSIX.
extern const char kSep[];
extern const char kExeSuffix[];
extern const char kEtcPiece[];
extern const char kBinPiece[];
// The message library registered as the event source's message file:
// "RazMessage.dll" on Win32, the catalogue "RazMessage.cat" on POSIX.
extern const char kMessageLibraryFile[];

std::uint32_t ProcessId();

// A small stable number for the calling thread (first thread seen is 0 ...).
std::uint32_t ThreadNumber();

// Milliseconds since the epoch, on the wall clock: for time stamps only.
// The wall clock can be set forwards or back at any moment, so no time-out
// is ever measured on it.
std::int64_t NowMillis();

// Milliseconds on a clock that only moves forwards at a steady rate, from
// an unspecified start: every deadline and time-out is measured on it, so
// setting the system clock neither stretches nor cuts a wait.
std::int64_t MonotonicMillis();

// Full path of the running program, or of the module that holds the given
// address when it is in a shared library.
std::string ModulePath(const void *address_in_module = nullptr);

// The folder for temporary files, with no separator at its end.
std::string TempDir();

// The runtime folder for pipes and lock files ($QVAD_RUNDIR, created when
// missing; else /run/qvadnerl; on POSIX else a folder of this user's own in
// the temp folder; the temp folder on Win32). Empty when the folder of one's
// own is there but cannot be trusted (another user's, a link, open to
// others): *refusal, when given, then says why.
std::string RuntimeDir(std::string *refusal = nullptr);

// Environment variable or empty.
std::string GetEnv(const char *name);
// Sets (or with a null value removes) a variable of this process; children inherit it.
bool SetEnv(const char *name, const char *value);

bool FileExists(const char *path);
// True when this user can start the file as a program: on POSIX a plain file
// with execute permission for the caller; on Win32 any file (the extension
// decides there).
bool CanRunProgram(const char *path);

// Opens a file whose name the system composed from data (a query result
// named after a definition's stem), as Windows opens it: the last part of
// the path matches without regard to ASCII letter case. The folder must be
// exact. On POSIX a name that does not exist as written is looked up in its
// folder; when several names differ only in case, the exact one wins, else
// the first in byte order. Null with errno set, as fopen.
std::FILE *OpenFileAnyCase(const char *path, const char *mode);
bool MakeDirectory(const char *path);
// Removes the plain files of a folder and then the folder itself; folders
// inside it are left, and so is the folder then. True when it is gone (or
// was never there).
bool RemoveFolder(const char *path);

// Writes data to a temporary file beside path and renames it over path, so a
// reader sees either the old content or the new. With durable set, the data
// reaches the disk before the rename. Writers of one file take turns (the
// temporary file is "<path>.tmp"). Returns 0 or a Win32 error code.
std::uint32_t ReplaceFileAtomically(const char *path, const void *data, std::size_t size, bool durable);

}  // namespace plat
