// Replacing a whole file so that a reader sees either the old content or the
// new, never an empty or half-written file, and a failed write leaves the old
// file as it was: the new content goes into a temporary file in the same
// folder, every write is checked, the file is synced and closed, and only
// then is it renamed over the old one. And, for files that grow by appends,
// taking back an append that failed half-way.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace plat {

// The file a path finally names: on POSIX symbolic links are followed to
// their target (also one that does not exist yet), so a replacement changes
// the target and the link stays; on Win32 the path itself. Empty, with the C
// runtime error number in *err, when the links go round in a loop.
std::string FileBehindLinks(const char *path, int *err);

// The length of a plain file in bytes, as it is on disk (CR LF counted as two
// bytes on Win32). 0, or a C runtime error number (ENOENT when it is missing).
int FileLength(const char *path, std::uint64_t *length);

// Cuts a file back to length bytes, so that an append that failed half-way
// leaves the file as it was before it. Never makes a file longer: a file that
// is shorter already is EINVAL. 0, or a C runtime error number.
int CutFileBack(const char *path, std::uint64_t length);

class FileReplacement {
 public:
  FileReplacement() = default;
  // Removes the temporary file unless Commit succeeded.
  ~FileReplacement();
  FileReplacement(const FileReplacement &) = delete;
  FileReplacement &operator=(const FileReplacement &) = delete;

  // Starts the new content of the file that path names (see FileBehindLinks).
  // In text mode a line feed becomes the platform's line end. Returns 0 or a
  // C runtime error number: EACCES for a file that is read-only (no write
  // permission at all, or none for the caller) or a folder where no file may
  // be created, EISDIR or EINVAL when the path names something other than a
  // plain file, and whatever creating the temporary file gave (ENOENT for a
  // missing folder). An existing file keeps its mode and owner (POSIX).
  int Open(const char *path, bool text);

  // The stream to write the new content to; valid after a successful Open.
  std::FILE *stream() const { return stream_; }

  // Flushes, syncs and closes the new content and puts it in place of the
  // old file. Returns 0 or the C runtime error number of the step that
  // failed (ENOSPC for a full disk); then the old file is unchanged.
  int Commit();

 private:
  void Discard();

  std::string target_;
  std::string temp_;
  std::FILE *stream_ = nullptr;
};

}  // namespace plat
