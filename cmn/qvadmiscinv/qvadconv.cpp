// Value conversions by keyword.
#include "cmn/qvadmiscinv/qvadconv.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadnumber.h"
#include "platform/error.h"

namespace {

void Clear(char *out, int size) {
  if (out != nullptr && size > 0) std::memset(out, 0, static_cast<std::size_t>(size));
}

// Copies a result that is shorter than the output, else 22/87. The failure
// is recorded without resetting the record, so the conversions that do not
// reset keep what their caller put there.
int PutResult(const char *text, std::size_t len, char *out, int size, QVAD_ERROR_TBL *err, int line) {
  if (out == nullptr || size <= 0 || len >= static_cast<std::size_t>(size)) {
    Qvad_SetError(err, 22, kQvadBadInput, line, __FILE__);
    return 0;
  }
  std::memset(out, 0, static_cast<std::size_t>(size));
  std::memcpy(out, text, len);
  return 1;
}

// The three number conversions: read, scale, round halves away from zero
// (the same on both platforms, whose "%.0f" round halves differently), print.
int ScaleNumber(const char *in, double factor, char *out, int size, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  Clear(out, size);
  if (in == nullptr || *in == '\0') return 1;
  double value = std::round(Qvad_LeadingReal(in) * factor);
  if (!std::isfinite(value)) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return 0;
  }
  if (value == 0.0) value = 0.0;  // no "-0"
  char text[400];                 // the largest finite double prints in 309 digits
  int n = std::snprintf(text, sizeof text, "%.0f", value);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof text) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return 0;
  }
  return PutResult(text, static_cast<std::size_t>(n), out, size, err, __LINE__);
}

int ChangeCase(const char *in, char *out, int size, QVAD_ERROR_TBL *err, bool upper) {
  char buffer[1024] = {};
  std::size_t n = std::strlen(in);
  if (n >= sizeof buffer) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return 0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (upper && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    buffer[i] = static_cast<char>(c);
  }
  return PutResult(buffer, n, out, size, err, __LINE__);
}

}  // namespace

int Qvad_ConvDoubleToInt(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  return ScaleNumber(in, 1.0, out, size, err);
}

int Qvad_ConvByteToKByte(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  return ScaleNumber(in, 0.0009765625, out, size, err);
}

int Qvad_ConvMByteToByte(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  return ScaleNumber(in, 1048576.0, out, size, err);
}

int Qvad_ConvRemove(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  std::string joined;
  char part[1024];
  for (int i = 1; Qvad_FieldSplit(in, ':', i, part, sizeof part) == 1; ++i) joined += part;
  return PutResult(joined.c_str(), joined.size(), out, size, err, __LINE__);
}

int Qvad_ConvRemoveYen(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  Clear(out, size);
  std::size_t n = std::strlen(in);
  if (n > 0 && in[n - 1] == '\\') --n;
  return PutResult(in, n, out, size, err, __LINE__);
}

int Qvad_ConvSeparator(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  Clear(out, size);
  std::size_t n = std::strlen(in);
  if (!PutResult(in, n, out, size, err, __LINE__)) return 0;
  for (std::size_t i = 0; i < n; ++i)
    if (out[i] == ' ') out[i] = ';';
  return 1;
}

int Qvad_ConvRemoveHex(const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  if (in[0] == '0' && in[1] == 'x') in += 2;
  return PutResult(in, std::strlen(in), out, size, err, __LINE__);
}

int Qvad_ConvSelect(const char *keyword, const char *in, char *out, int size, QVAD_ERROR_TBL *err) {
  Qvad_ResetError(err);
  Clear(out, size);
  if (keyword == nullptr || in == nullptr) {
    Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
    return 0;
  }
  using Conversion = int (*)(const char *, char *, int, QVAD_ERROR_TBL *);
  static const struct {
    const char *keyword;
    Conversion run;
  } kTable[] = {
      {"DTOI", Qvad_ConvDoubleToInt}, {"BTOKB", Qvad_ConvByteToKByte}, {"MBTOB", Qvad_ConvMByteToByte},
      {"REMOVE", Qvad_ConvRemove},    {"RMYEN", Qvad_ConvRemoveYen},   {"SEPARATE", Qvad_ConvSeparator},
      {"RMHEX", Qvad_ConvRemoveHex},
  };
  for (const auto &entry : kTable)
    if (std::strcmp(keyword, entry.keyword) == 0) return entry.run(in, out, size, err);
  if (std::strcmp(keyword, "LOWERCASE") == 0) return ChangeCase(in, out, size, err, false);
  if (std::strcmp(keyword, "UPPERCASE") == 0) return ChangeCase(in, out, size, err, true);
  Qvad_SetError(err, 22, kQvadBadInput, __LINE__, __FILE__);
  return 0;
}
