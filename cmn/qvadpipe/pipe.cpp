// The pipe operations: create, timed wait, read, close.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cmn/qvadpipe/qvadpipe.h"
#include "platform/error.h"
#include "platform/event.h"

int Qvad_CreatePipe(QVAD_PIPE *pipe, int direction, std::uint32_t buffer_size, QVAD_ERROR_TBL *error) {
  // A buffer of under 2 bytes could not hold one byte and its NUL.
  if (pipe == nullptr || (direction != 1 && direction != 2) || buffer_size < 2) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  std::memset(pipe, 0, sizeof *pipe);
  pipe->read_handle = pipe->write_handle = plat::kInvalidPipe;
  pipe->read_event = plat::kInvalidEvent;
  pipe->read_pending = 0;
  bool inbound = direction == 1;
  plat::PipeHandle server = plat::CreatePipeServer(kQvadPipeName, inbound, buffer_size);
  if (server == plat::kInvalidPipe) {
    QVAD_FILL_ERROR(error, 30, plat::LastError());
    return 0;
  }
  plat::EventHandle event = plat::CreateManualEvent();
  if (event == nullptr) {
    QVAD_FILL_ERROR(error, 200, plat::LastError());
    plat::ClosePipeEnd(server);
    return 0;
  }
  plat::PipeHandle client = plat::OpenPipeClient(kQvadPipeName, inbound);
  if (client == plat::kInvalidPipe) {
    QVAD_FILL_ERROR(error, 30, plat::LastError());
    plat::CloseEvent(event);
    plat::ClosePipeEnd(server);
    return 0;
  }
  char *buffer = static_cast<char *>(std::malloc(buffer_size));
  if (buffer == nullptr) {
    QVAD_FILL_ERROR(error, 12, static_cast<std::uint32_t>(errno));
    plat::ClosePipeEnd(client);
    plat::CloseEvent(event);
    plat::ClosePipeEnd(server);
    return 0;
  }
  pipe->read_handle = inbound ? server : client;
  pipe->write_handle = inbound ? client : server;
  pipe->read_event = event;
  pipe->buffer = buffer;
  pipe->buffer_size = buffer_size;
  return 1;
}

int Qvad_WaitForPipe(QVAD_PIPE *pipe, std::uint32_t timeout_ms, QVAD_ERROR_TBL *error) {
  if (pipe == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  if (pipe->read_pending == 0) {
    std::memset(&pipe->overlapped, 0, sizeof pipe->overlapped);
    std::memset(pipe->buffer, 0, pipe->buffer_size);
    std::uint32_t got = 0;
    int r = plat::StartPipeRead(pipe->read_handle, &pipe->overlapped, pipe->read_event, pipe->buffer,
                                pipe->buffer_size - 1, &got);
    if (r == 0) return 0;
    if (r < 0) {
      QVAD_FILL_ERROR(error, 31, plat::LastError());
      pipe->read_pending = 0;
      return -1;
    }
  }
  std::uint32_t w = plat::WaitPipeRead(pipe->read_handle, &pipe->overlapped, pipe->read_event, timeout_ms);
  if (w == plat::kWaitTimeout) {
    pipe->read_pending = 1;
    return 1;
  }
  pipe->read_pending = 0;
  if (w == plat::kWaitObject0) return 0;
  QVAD_FILL_ERROR(error, 201, w);
  return -1;
}

int Qvad_ReadPipe(QVAD_PIPE *pipe, QVAD_ERROR_TBL *error) {
  if (pipe == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  std::uint32_t got = 0;
  if (!plat::PipeReadResult(pipe->read_handle, &pipe->overlapped, &got)) {
    QVAD_FILL_ERROR(error, 33, plat::LastError());
    return 0;
  }
  // Never more than buffer size minus one was asked for, so the NUL fits.
  if (got > pipe->buffer_size - 1) got = pipe->buffer_size - 1;
  pipe->transferred = got;
  pipe->buffer[got] = '\0';
  return 1;
}

void Qvad_ClosePipe(QVAD_PIPE *pipe) {
  if (pipe == nullptr) return;
  if (pipe->read_handle != plat::kInvalidPipe) plat::ClosePipeEnd(pipe->read_handle);
  if (pipe->write_handle != plat::kInvalidPipe) plat::ClosePipeEnd(pipe->write_handle);
  if (pipe->read_event != plat::kInvalidEvent) plat::CloseEvent(pipe->read_event);
  pipe->read_handle = pipe->write_handle = plat::kInvalidPipe;
  pipe->read_event = plat::kInvalidEvent;
  std::free(pipe->buffer);
  pipe->buffer = nullptr;
}
