// Editing a collected value into a result cell, and the Japanese-mode
// treatment of Shift_JIS text.
#include <cstring>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "platform/error.h"
#include "platform/sys.h"

namespace {

constexpr std::size_t kWork = 1024;
const char kLanguageKey[] = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion";
const char kLanguageValue[] = "DM Language";

// Full-width Shift_JIS forms of the half-width bytes 0xA1 to 0xDD, the JIS
// X 0201 to JIS X 0208 correspondence (Unicode compatibility normalisation).
// 0xA1 to 0xA5 are the half-width punctuation marks; 0xA0 is no character.
const unsigned char kWide[0xDE - 0xA1][2] = {
    {0x81, 0x42}, {0x81, 0x75}, {0x81, 0x76}, {0x81, 0x41}, {0x81, 0x45},  // A1-A5 ｡｢｣､･
    {0x83, 0x92}, {0x83, 0x40}, {0x83, 0x42}, {0x83, 0x44}, {0x83, 0x46},  // A6-AA ｦｧｨｩｪ
    {0x83, 0x48}, {0x83, 0x83}, {0x83, 0x85}, {0x83, 0x87}, {0x83, 0x62},  // AB-AF ｫｬｭｮｯ
    {0x81, 0x5B}, {0x83, 0x41}, {0x83, 0x43}, {0x83, 0x45}, {0x83, 0x47},  // B0-B4 ｰｱｲｳｴ
    {0x83, 0x49}, {0x83, 0x4A}, {0x83, 0x4C}, {0x83, 0x4E}, {0x83, 0x50},  // B5-B9 ｵｶｷｸｹ
    {0x83, 0x52}, {0x83, 0x54}, {0x83, 0x56}, {0x83, 0x58}, {0x83, 0x5A},  // BA-BE ｺｻｼｽｾ
    {0x83, 0x5C}, {0x83, 0x5E}, {0x83, 0x60}, {0x83, 0x63}, {0x83, 0x65},  // BF-C3 ｿﾀﾁﾂﾃ
    {0x83, 0x67}, {0x83, 0x69}, {0x83, 0x6A}, {0x83, 0x6B}, {0x83, 0x6C},  // C4-C8 ﾄﾅﾆﾇﾈ
    {0x83, 0x6D}, {0x83, 0x6E}, {0x83, 0x71}, {0x83, 0x74}, {0x83, 0x77},  // C9-CD ﾉﾊﾋﾌﾍ
    {0x83, 0x7A}, {0x83, 0x7D}, {0x83, 0x7E}, {0x83, 0x80}, {0x83, 0x81},  // CE-D2 ﾎﾏﾐﾑﾒ
    {0x83, 0x82}, {0x83, 0x84}, {0x83, 0x86}, {0x83, 0x88}, {0x83, 0x89},  // D3-D7 ﾓﾔﾕﾖﾗ
    {0x83, 0x8A}, {0x83, 0x8B}, {0x83, 0x8C}, {0x83, 0x8D}, {0x83, 0x8F},  // D8-DC ﾘﾙﾚﾛﾜ
    {0x83, 0x93},                                                          // DD ﾝ
};

int Fail(QVAD_ERROR_TBL *err, int line) {
  Qvad_SetError(err, 22, kQvadBadInput, line, __FILE__);
  return 0;
}

// Where a text of more than width bytes is cut: at the last character
// boundary within the width. A doubled quote is one character, or the cell
// would hold a lone quote that opens a field a CSV reader never sees closed;
// in Japanese mode a lead byte and the byte after it are one character, or
// the lead byte would swallow the comma or closing quote after the cell. The
// cell is padded with spaces up to the width.
std::size_t CutPoint(const char *text, std::size_t width, bool japanese) {
  std::size_t i = 0;
  while (text[i] != '\0') {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t k = 1;
    if (c == '"' && text[i + 1] == '"') {
      k = 2;
    } else if (japanese && c >= 0x80 && (c < 0xA0 || c >= 0xE0) && text[i + 1] != '\0') {
      k = 2;
    }
    if (i + k > width) break;
    i += k;
  }
  return i;
}

}  // namespace

bool Qvad_WidenKatakana(const char *in, char *out, std::size_t size) {
  const auto *p = reinterpret_cast<const unsigned char *>(in);
  auto *o = reinterpret_cast<unsigned char *>(out);
  std::size_t n = 0;
  auto room = [&](std::size_t k) { return n + k < size; };  // keep one byte for the NUL
  // A sound mark changes the second byte of the double-byte character
  // before it. After a single-byte character it is dropped, as at the start:
  // raised by one or two, '+' or '*' would become a comma and '!' or a blank
  // a quote, splitting or opening a cell of the result row.
  bool after_double = false;
  for (; *p != 0; ++p) {
    unsigned char c = *p;
    if (c < 0x80 || c == 0xA0) {
      if (!room(1)) return false;
      o[n++] = c;
      after_double = false;
    } else if (c >= 0xA1 && c <= 0xDD) {
      if (!room(2)) return false;
      o[n++] = kWide[c - 0xA1][0];
      o[n++] = kWide[c - 0xA1][1];
      after_double = true;
    } else if (c == 0xDE) {  // voiced sound mark: joins the character before it
      if (after_double) {
        if (o[n - 2] == 0x83 && o[n - 1] == 0x45)
          o[n - 1] = 0x94;  // ｳﾞ is ヴ
        else
          o[n - 1] = static_cast<unsigned char>(o[n - 1] + 1);
      }
    } else if (c == 0xDF) {  // semi-voiced sound mark
      if (after_double) o[n - 1] = static_cast<unsigned char>(o[n - 1] + 2);
    } else {
      // Lead byte of a double-byte character. Alone at the very end it is
      // no character: it is dropped, so it cannot swallow the comma that
      // follows the cell in the result row.
      if (p[1] == 0) break;
      if (!room(2)) return false;
      o[n++] = c;
      o[n++] = *++p;
      after_double = true;
    }
  }
  o[n] = 0;
  return true;
}

int Qvad_InvReadLanguage() {
  InvRunContext *ctx = Qvad_InvContext();
  char setting[kWork + 1] = {};
  std::int32_t rc = QvadGetRegistryData(plat::RegRoot::LocalMachine, kLanguageKey, kLanguageValue, setting, kWork);
  ctx->JapaneseMode = rc == 0 && std::strcmp(setting, "JAPANESE") == 0 ? 1 : 0;
  ctx->LanguageRead = 1;
  if (rc != 0) {
    // Without the setting the adapter works as on an English system rather
    // than leaving every cell empty.
    Qvad_TraceF(&ctx->ErrTrace, static_cast<int>(plat::ThreadNumber()), 3, __FILE__, __LINE__, 0,
                "(Warning)QvadGetRegistryData(DM Language) : Ret = %d : not Japanese mode", rc);
  }
  return ctx->JapaneseMode;
}

int Qvad_GetFieldEdit(const INV_ITEM_DEF *def, const char *value, INV_FIELD *cell, int size, QVAD_ERROR_TBL *err) {
  if (def == nullptr || value == nullptr || cell == nullptr || size <= 0) return Fail(err, __LINE__);
  std::size_t limit =
      static_cast<std::size_t>(size) < sizeof cell->Value ? static_cast<std::size_t>(size) : sizeof cell->Value;
  if (std::strlen(value) >= static_cast<std::size_t>(size)) {
    std::memset(cell->Value, 0, sizeof cell->Value);
    return Fail(err, __LINE__);
  }
  InvRunContext *ctx = Qvad_InvContext();
  bool japanese = (ctx->LanguageRead ? ctx->JapaneseMode : Qvad_InvReadLanguage()) == 1;

  char escaped[kWork] = {};
  std::size_t n = 0;
  for (const char *p = value; *p != '\0'; ++p) {
    const char *put = p;
    std::size_t k = 1;
    if (*p == '\'') {
      put = japanese ? "\x81\x66" : " ";
      k = japanese ? 2 : 1;
    } else if (*p == '"') {
      put = "\"\"";
      k = 2;
    }
    if (n + k >= kWork) return Fail(err, __LINE__);
    std::memcpy(escaped + n, put, k);
    n += k;
  }

  char text[kWork] = {};
  if (japanese) {
    if (!Qvad_WidenKatakana(escaped, text, sizeof text)) return Fail(err, __LINE__);
  } else {
    std::memcpy(text, escaped, n + 1);
  }
  n = std::strlen(text);

  if (def->Width != 0) {
    if (def->Width < 0 || static_cast<std::size_t>(def->Width) >= kWork) return Fail(err, __LINE__);
    auto w = static_cast<std::size_t>(def->Width);
    if (n > w) n = CutPoint(text, w, japanese);
    if (n < w) std::memset(text + n, ' ', w - n);
    text[w] = '\0';
    n = w;
  }

  char cell_text[kWork + 2] = {};
  if (def->Quote != 0) {
    if (n + 2 >= limit) return Fail(err, __LINE__);
    cell_text[0] = '"';
    std::memcpy(cell_text + 1, text, n);
    cell_text[n + 1] = '"';
    n += 2;
  } else {
    std::memcpy(cell_text, text, n);
  }
  if (n >= limit) return Fail(err, __LINE__);
  std::memset(cell->Value, 0, sizeof cell->Value);
  std::memcpy(cell->Value, cell_text, n);
  return 1;
}
