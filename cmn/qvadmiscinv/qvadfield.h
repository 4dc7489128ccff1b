// Quote-aware text field primitives and the line reader that every part of
// the inventory engine splits and reads its CSV text with.
#pragma once
#include <cstdint>
#include <cstdio>

#include "cmn/qvaderror.h"
#include "platform/error.h"

// Field n (from 1) of text split at sep, quotes respected and kept, into a
// buffer of size bytes, always terminated. Returns 1 with the field, 0 when there is no
// field n or it does not fit (its first size-1 characters are left then).
// The text ends at its first line feed or NUL.
int Qvad_FieldSplit(const char *text, char sep, int n, char *out, int size);

// Where field n of the text lies, without copying it: false when there is
// no field n.
bool Qvad_FieldFind(const char *text, char sep, int n, const char **field, std::size_t *length);

// Number of comma-separated fields before the first line feed or NUL; 0 for
// an empty text.
int Qvad_FieldCount(const char *text);

// Drops enclosing double quotes in place (a text of at least two characters
// that begins and ends with one). A lone double quote is kept as it is.
// Returns 1, or 0 for a null text.
int Qvad_StripQuotes(char *text);

// A new copy (free it with free) of text without enclosing double quotes.
// Returns 1, or 0 for a null argument or when no memory is left.
int Qvad_DupStripQuotes(const char *text, char **copy);

// Reads the next line, line feed included, into a new buffer (free it with
// free). A CR LF line end is returned as LF, so files from either platform
// read alike, and a last line without a line feed is still a line. Lines
// hold at most 10229 characters and the line feed. Returns 0 with a line,
// 1 at end of file, -1 on failure (3/0 line too long, 3/errno read failed,
// 12/errno out of memory).
int Qvad_FieldGetMem(std::FILE *file, char **line, QVAD_ERROR_TBL *err);

// Copies text into a cleared buffer of size bytes when it fits: true, else
// false with the buffer left empty.
bool Qvad_CopyFits(char *out, std::size_t size, const char *text);

// The system code the engine records, with its own code 22, when it refuses
// its input (a bad argument, a definition or text it cannot use).
inline constexpr std::uint32_t kQvadBadInput = plat::kErrInvalidParameter;

// Records a failure in the caller's record without clearing it first.
#define QVAD_SET_ERROR(err, local, sys) Qvad_SetError((err), (local), (sys), __LINE__, __FILE__)
