// The number readers: one per rule the adapter reads numbers by (see the
// header for each rule).
#include "cmn/qvadnumber.h"

#include <cstdlib>
#include <limits>
#include <string>

namespace {

// The blanks the C runtime skips before a number.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks and an optional sign: where the digits start, and the sign.
const char *SkipBlanksAndSign(const char *p, bool *negative) {
  while (IsBlank(*p)) ++p;
  *negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

// The magnitude of the digits at p, held to limit; *end is the first
// character after them.
unsigned long long Digits(const char *p, unsigned long long limit, const char **end) {
  unsigned long long v = 0;
  for (; IsDigit(*p); ++p) {
    auto d = static_cast<unsigned>(*p - '0');
    v = v > (limit - d) / 10 ? limit : v * 10 + d;
  }
  *end = p;
  return v;
}

// The value of a sign and a magnitude of at most the limit of that sign.
long long Signed(bool negative, unsigned long long magnitude) {
  if (!negative) return static_cast<long long>(magnitude);
  // The most negative value has no positive counterpart: negate in unsigned.
  return static_cast<long long>(0ULL - magnitude);
}

}  // namespace

long long Qvad_LeadingInt64(const char *text) {
  if (text == nullptr) return 0;
  bool negative = false;
  const char *p = SkipBlanksAndSign(text, &negative);
  const unsigned long long max = std::numeric_limits<long long>::max();
  return Signed(negative, Digits(p, negative ? max + 1 : max, &p));
}

std::int32_t Qvad_LeadingInt32(const char *text) {
  long long v = Qvad_LeadingInt64(text);
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

double Qvad_LeadingReal(const char *text) {
  if (text == nullptr) return 0.0;
  const char *p = text;
  while (IsBlank(*p)) ++p;
  const char *start = p;
  if (*p == '+' || *p == '-') ++p;
  const char *digits = p;
  while (IsDigit(*p)) ++p;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) ++p;
  }
  if (p == digits || (p == digits + 1 && *digits == '.')) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char *e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (IsDigit(*e)) {
      while (IsDigit(*e)) ++e;
      p = e;
    }
  }
  // Only the number itself reaches the C runtime, so what follows it can
  // never be taken for part of it.
  std::string number(start, static_cast<std::size_t>(p - start));
  return std::strtod(number.c_str(), nullptr);
}

std::uint32_t Qvad_ProfileIntValue(const char *text) {
  if (text == nullptr) return 0;
  const char *p = text;
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::uint32_t base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
    base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
    p += 2;
  }
  std::uint32_t value = 0;
  for (;; ++p) {
    std::uint32_t digit;
    if (IsDigit(*p))
      digit = static_cast<std::uint32_t>(*p - '0');
    else if (*p >= 'a' && *p <= 'z')
      digit = static_cast<std::uint32_t>(*p - 'a' + 10);
    else if (*p >= 'A' && *p <= 'Z')
      digit = static_cast<std::uint32_t>(*p - 'A' + 10);
    else
      break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

bool Qvad_WholeDecimal(const char *text, std::int32_t *value) {
  if (text == nullptr) return false;
  bool negative = false;
  const char *digits = SkipBlanksAndSign(text, &negative);
  const char *end = digits;
  // One past the 32-bit limit of the sign is enough to tell "beyond".
  const unsigned long long limit = negative ? 0x80000001ULL : 0x80000000ULL;
  unsigned long long magnitude = Digits(digits, limit, &end);
  if (end == digits || *end != '\0' || magnitude == limit) return false;
  *value = static_cast<std::int32_t>(Signed(negative, magnitude));
  return true;
}
