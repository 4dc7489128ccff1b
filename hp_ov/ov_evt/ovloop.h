// The service's event loop: reads the child's output from the pipe, cuts it
// into lines, forwards every new event to the console and records progress.
#pragma once
#include "cmn/qvadpipe/qvadpipe.h"

// Runs while the child started by OvStartChild runs. 1 when a stop was
// requested, 0 on a failure that ends processing.
int OvGetParameter(const char *razevt_path, const char *evtkeep_path, QVAD_PIPE *pipe, const char *stoptime_path);
