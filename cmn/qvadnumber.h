// Numbers read from text. The adapter reads numbers by a handful of rules,
// and each rule has exactly one reader here; a caller picks the rule its
// text follows instead of scanning digits itself. Every reader takes a null
// text as an empty one.
#pragma once
#include <cstdint>

// A leading decimal integer, read as the C runtime's atoi reads one: blanks
// (space, TAB, LF, VT, FF, CR) skipped, an optional sign, then digits up to
// the first other character; what follows is ignored, and a text without
// digits reads as 0. Beyond the 32-bit range the value saturates at
// INT32_MIN or INT32_MAX: a damaged number never wraps round into a
// plausible one. Definition-file fields, column numbers, the service's state
// files, the repository options of qvadrepini and the interface count read
// this way.
std::int32_t Qvad_LeadingInt32(const char *text);

// The same rule at 64 bits: saturates at the range of long long. The sizes a
// result column holds, which add up beyond 32 bits.
long long Qvad_LeadingInt64(const char *text);

// A leading decimal number with a fraction, read as the C runtime's
// text-to-double conversion reads one, limited to plain decimal notation:
// blanks, an optional sign, digits with an optional "." and fraction (at
// least one digit in all), then an optional exponent ("e" or "E", a sign,
// digits; an "e" without digits is not part of the number). The C runtimes
// of the two platforms differ on "inf", "nan" and hexadecimal forms, and a
// size read from a warehouse is never one of them: they read as 0, as does a
// text without a number.
double Qvad_LeadingReal(const char *text);

// A profile value's integer, as GetPrivateProfileIntA reads it: every
// character up to the space (control characters too) skipped, an optional
// sign, an optional "0x", "0o" or "0b" prefix, then digits of that base
// (letters count from 10 up, either case) to the first that is not one; what
// follows is ignored, no digits read as 0. The value wraps at 32 bits as the
// platform's does, and a negative one is returned as its two's complement.
std::uint32_t Qvad_ProfileIntValue(const char *text);

// A decimal value that must be the whole text (an environment setting, a
// value the preflight check judges): blanks before it and a sign allowed,
// then at least one digit and nothing after the digits, not even a blank.
// True with the value. False, the value untouched, for anything else and
// for a number beyond the 32-bit range: refused, never saturated, so a
// caller's limit check never sees a number the text does not hold.
bool Qvad_WholeDecimal(const char *text, std::int32_t *value);
