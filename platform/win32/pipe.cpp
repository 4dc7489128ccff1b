// The named pipe on Win32: CreateNamedPipeA with overlapped reads, the
// client end opened by name with an inheritable handle.
#include "platform/pipe.h"

#include <windows.h>

#include <cstring>

namespace plat {

static_assert(sizeof(PipeOverlapped) == sizeof(OVERLAPPED), "PipeOverlapped must hold an OVERLAPPED");

PipeHandle CreatePipeServer(const char *name, bool inbound, std::uint32_t buffer_size) {
  DWORD access = (inbound ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_OVERLAPPED;
  return static_cast<PipeHandle>(::CreateNamedPipeA(name, access, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                                    buffer_size, buffer_size, 0, nullptr));
}

PipeHandle OpenPipeClient(const char *name, bool server_inbound) {
  SECURITY_ATTRIBUTES sa;
  std::memset(&sa, 0, sizeof sa);
  sa.nLength = sizeof sa;
  sa.bInheritHandle = TRUE;
  return static_cast<PipeHandle>(::CreateFileA(name, server_inbound ? GENERIC_WRITE : GENERIC_READ, 0, &sa,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void ClosePipeEnd(PipeHandle end) {
  if (end != kInvalidPipe && end != nullptr) ::CloseHandle(end);
}

// Both are file handles: the stream is the same handle.
FileHandle PipeStream(PipeHandle end) { return reinterpret_cast<FileHandle>(end); }

int StartPipeRead(PipeHandle end, PipeOverlapped *ov, EventHandle event, void *buffer, std::uint32_t size,
                  std::uint32_t *got) {
  OVERLAPPED *o = reinterpret_cast<OVERLAPPED *>(ov->storage);
  std::memset(o, 0, sizeof *o);
  o->hEvent = event;
  DWORD n = 0;
  if (::ReadFile(end, buffer, size, &n, o)) {
    *got = n;
    return 0;
  }
  return ::GetLastError() == ERROR_IO_PENDING ? 1 : -1;
}

std::uint32_t WaitPipeRead(PipeHandle, PipeOverlapped *, EventHandle event, std::uint32_t timeout_ms) {
  return ::WaitForSingleObject(event, timeout_ms);
}

bool PipeReadResult(PipeHandle end, PipeOverlapped *ov, std::uint32_t *got) {
  DWORD n = 0;
  if (!::GetOverlappedResult(end, reinterpret_cast<OVERLAPPED *>(ov->storage), &n, TRUE)) return false;
  *got = n;
  return true;
}

bool PipeReaderGone(FileHandle) { return false; }

}  // namespace plat

#include <fcntl.h>
#include <io.h>

namespace plat {
void SetStreamBinary(std::FILE *stream) { _setmode(_fileno(stream), _O_BINARY); }
}  // namespace plat
