// Handle types shared by both backends. Each kind of object the platform
// layer hands out has a handle type of its own: a pointer to an incomplete
// type that only the backend looks behind (a Win32 HANDLE, or a POSIX
// descriptor or record, converted at the boundary), so handles of different
// kinds do not mix without the compiler saying so. Every handle is one
// pointer-sized value; the invalid value of a kind is the bit pattern of
// INVALID_HANDLE_VALUE, so records look alike on both platforms.
#pragma once
#include <cstdint>

namespace plat {

// The invalid value of a handle type.
template <class H>
H InvalidHandleOf() {
  return reinterpret_cast<H>(static_cast<std::intptr_t>(-1));
}

// An open file or stream of the operating system: what FileHandleOf gives,
// and what a child takes as one of its standard streams.
struct FileObject;
using FileHandle = FileObject *;
inline FileHandle const kInvalidFile = InvalidHandleOf<FileHandle>();

}  // namespace plat
