// The one-way named pipe between the service and the child it starts, read
// with timed waits so that the reader can keep watching for a stop request
// and for the child's end.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"
#include "platform/event.h"
#include "platform/pipe.h"

inline constexpr const char kQvadPipeName[] = "\\\\.\\pipe\\qvadnerl";

struct QVAD_PIPE {
  plat::PipeHandle read_handle;   // the end this process reads
  plat::PipeHandle write_handle;  // the end given to a child
  plat::EventHandle read_event;   // manual-reset event of the overlapped reads
  plat::PipeOverlapped overlapped;
  char *buffer;  // buffer_size bytes
  std::uint32_t buffer_size;
  std::uint32_t transferred;  // bytes of the last completed read
  std::int32_t read_pending;  // 1 while a timed-out read is outstanding
};

// Direction 1: this process reads, the child writes; 2: the other way.
int Qvad_CreatePipe(QVAD_PIPE *pipe, int direction, std::uint32_t buffer_size, QVAD_ERROR_TBL *error);
// 0 data ready, 1 timed out with the read still outstanding, -1 failed.
int Qvad_WaitForPipe(QVAD_PIPE *pipe, std::uint32_t timeout_ms, QVAD_ERROR_TBL *error);
// Completes the read: the buffer then holds the bytes followed by a NUL.
int Qvad_ReadPipe(QVAD_PIPE *pipe, QVAD_ERROR_TBL *error);
void Qvad_ClosePipe(QVAD_PIPE *pipe);
