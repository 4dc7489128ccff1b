// The option parser of the setup tools. It follows its own rules rather than
// the C library's getopt: no permutation, no "--" terminator, and an option
// argument may never begin with '-', so "-p -o log" is refused instead of
// taking "-o" as the install path.
#include <cstring>

#include "cmn/qvadtool/qvadtool.h"

extern "C" {

std::int32_t OptInd = 1;
char *OptArg = nullptr;
char *NextChar = nullptr;

std::int32_t Qvad_GetOpt(int count, char *const *words, const char *options) {
  OptArg = nullptr;
  char *prev = NextChar;
  NextChar = nullptr;
  if (OptInd >= count) return -1;
  char *word = words[OptInd];
  if (word == nullptr || word[0] != '-') return -1;

  char *at = prev != nullptr ? prev + 1 : word + 1;
  char letter = *at;
  const char *entry = nullptr;
  // The terminating null and ':' are never option letters: a lone "-" and a
  // stray ':' are unknown options.
  if (letter != '\0' && letter != ':') entry = std::strchr(options, letter);
  if (entry == nullptr) {
    ++OptInd;
    return '?';
  }
  // The value returned is the byte sign-extended, as a plain char converts.
  std::int32_t result = static_cast<signed char>(letter);

  if (entry[1] == ':') {
    int step = 1;
    if (at[1] != '\0') {
      OptArg = at + 1;
    } else if (OptInd + 1 < count && words[OptInd + 1] != nullptr) {
      OptArg = words[OptInd + 1];
      step = 2;
    } else {
      ++OptInd;
      return '?';
    }
    if (OptArg[0] == '-') {
      ++OptInd;
      return '?';
    }
    OptInd += step;
    return result;
  }

  if (at[1] != '\0') {
    NextChar = at;
    return result;
  }
  ++OptInd;
  return result;
}
}
