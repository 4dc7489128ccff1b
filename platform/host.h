// Names of this computer and the process's current folder.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// The network host name, as the sockets library on Windows reports it: the
// short name, up to the first dot, on every platform. Returns 1 with
// the name; 0 when the sockets library cannot be started (*code = its
// error); -1 when the request fails (*code = the request's result).
int HostName(char *buffer, std::size_t size, std::uint32_t *code);

// The current folder; false with the last error set when it does not fit or cannot be read.
bool CurrentDirectory(char *buffer, std::size_t size);

}  // namespace plat
