// Cutting the pipe's blocks into event lines. Lines end at LF alone; a line
// whose end has not arrived yet is carried into the next block; a line
// longer than 4096 characters keeps its first 4096.
#pragma once
#include <cstddef>

#include "hp_ov/ov_evt/ovparse.h"

struct OV_CARRY {
  char text[kOvLineSize];
  int length;
};

using OV_LINE_HANDLER = void (*)(const char *line, void *context);

void OvCarryClear(OV_CARRY *carry);
// Hands every line completed by this block to handler, copied into line
// (kOvLineSize bytes); keeps the rest in carry. Bytes are taken by count, so
// a NUL inside a block cannot hide what follows it.
void OvCutBlock(OV_CARRY *carry, const char *block, std::size_t size, char *line, OV_LINE_HANDLER handler,
                void *context);
