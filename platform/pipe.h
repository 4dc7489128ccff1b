// The one-way named pipe between the service and its child, read with
// overlapped (started, then waited for) reads. On Win32 a real named pipe;
// on POSIX a FIFO of the same last name in the runtime folder, guarded by a
// lock file so that at most one instance exists, as on Win32.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/event.h"
#include "platform/types.h"

namespace plat {

// One end of the pipe.
struct PipeObject;
using PipeHandle = PipeObject *;
inline PipeHandle const kInvalidPipe = InvalidHandleOf<PipeHandle>();

// The state of one outstanding read, the size of the platform's OVERLAPPED.
struct PipeOverlapped {
  alignas(void *) unsigned char storage[3 * sizeof(void *) + 8];
};

// Creates the server end. inbound: this process reads. kInvalidPipe with
// the last error set on failure (231 when an instance exists already).
PipeHandle CreatePipeServer(const char *name, bool inbound, std::uint32_t buffer_size);
// Opens the other end by name, inheritable so it can be a child's standard stream.
// server_inbound: the server reads, so this end writes.
PipeHandle OpenPipeClient(const char *name, bool server_inbound);
void ClosePipeEnd(PipeHandle end);

// The same end as a stream, to hand to a child as one of its standard streams
// (ProcessOptions); kInvalidPipe gives kInvalidFile. The end stays owned by
// the pipe: close it with ClosePipeEnd.
FileHandle PipeStream(PipeHandle end);

// Starts a read of up to size bytes into buffer: 0 completed at once (*got
// set), 1 pending (the I/O-pending case), -1 failed with the last error set.
int StartPipeRead(PipeHandle end, PipeOverlapped *ov, EventHandle event, void *buffer, std::uint32_t size,
                  std::uint32_t *got);
// Waits for the pending read: kWaitObject0, kWaitTimeout or another wait result.
std::uint32_t WaitPipeRead(PipeHandle end, PipeOverlapped *ov, EventHandle event, std::uint32_t timeout_ms);
// The result of the read, waiting for it to complete. False with the last error set.
bool PipeReadResult(PipeHandle end, PipeOverlapped *ov, std::uint32_t *got);

// True when the stream we write (a pipe end handed to us as a standard
// stream) has no reader left (POSIX: the reader died). Win32 cannot tell
// without writing and says false.
bool PipeReaderGone(FileHandle write_stream);

}  // namespace plat

namespace plat {
// Makes a C stream write its bytes unchanged (no LF to CR LF on Win32).
void SetStreamBinary(std::FILE *stream);
}  // namespace plat
