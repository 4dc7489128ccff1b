// A file that several processes append to at the same time (a trace file
// every program of the adapter shares): each write lands whole at the end
// of the file, never over another process's write. The C runtime's append
// mode cannot promise that on Win32, where it moves to the end and then
// writes, two steps between which another process's write can land.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;

  // Opens (creating when missing) for appending: false with the last error set.
  bool Open(const char *path);
  // Writes all of it at the end of the file: false when it could not.
  bool Write(const void *data, std::size_t size);
  void Close();
  bool is_open() const { return handle_ != kClosed; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // the descriptor (POSIX) or handle (Win32)
};

}  // namespace plat
