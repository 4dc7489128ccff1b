// Quote-aware splitting, counting and quote stripping of CSV text, and the
// chunked line reader.
#include "cmn/qvadmiscinv/qvadfield.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"

namespace {
constexpr int kChunk = 1024;
constexpr int kMaxLineBuffer = 10240;
}  // namespace

bool Qvad_CopyFits(char *out, std::size_t size, const char *text) {
  if (out == nullptr || size == 0) return false;
  std::memset(out, 0, size);
  std::size_t n = std::strlen(text);
  if (n >= size) return false;
  std::memcpy(out, text, n);
  return true;
}

bool Qvad_FieldFind(const char *text, char sep, int n, const char **field, std::size_t *length) {
  if (text == nullptr || n <= 0) return false;
  int number = 1;
  const char *start = text;
  bool in_quotes = false;
  for (const char *p = text;; ++p) {
    char c = *p;
    bool last = c == '\0' || c == '\n';
    if (last || (c == sep && !in_quotes)) {
      if (number == n) {
        *field = start;
        *length = static_cast<std::size_t>(p - start);
        return true;
      }
      if (last) return false;
      ++number;
      start = p + 1;
      in_quotes = false;
    } else if (c == '"') {
      in_quotes = !in_quotes;
    }
  }
}

int Qvad_FieldSplit(const char *text, char sep, int n, char *out, int size) {
  // The output is always a terminated text; only the bytes up to its NUL
  // are written, since every reader stops there and the splitter runs once
  // per line and column of every result file.
  if (out != nullptr && size > 0) out[0] = '\0';
  if (out == nullptr || size <= 0) return 0;
  const char *field = nullptr;
  std::size_t len = 0;
  if (!Qvad_FieldFind(text, sep, n, &field, &len)) return 0;
  if (len <= static_cast<std::size_t>(size - 1)) {
    std::memcpy(out, field, len);
    out[len] = '\0';
    return 1;
  }
  std::memcpy(out, field, static_cast<std::size_t>(size - 1));
  out[size - 1] = '\0';
  return 0;
}

int Qvad_FieldCount(const char *text) {
  if (text == nullptr || *text == '\0') return 0;
  int count = 1;
  bool in_quotes = false;
  for (const char *p = text; *p != '\0' && *p != '\n'; ++p) {
    if (*p == '"')
      in_quotes = !in_quotes;
    else if (*p == ',' && !in_quotes)
      ++count;
  }
  return count;
}

namespace {
// The inner text of a quoted value, or the whole text.
void InnerText(const char *text, std::size_t *offset, std::size_t *length) {
  std::size_t n = std::strlen(text);
  if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
    *offset = 1;
    *length = n - 2;
  } else {
    *offset = 0;
    *length = n;
  }
}
}  // namespace

int Qvad_StripQuotes(char *text) {
  if (text == nullptr) return 0;
  std::size_t offset, length;
  InnerText(text, &offset, &length);
  if (offset != 0) {
    std::memmove(text, text + 1, length);
    text[length] = '\0';
  }
  return 1;
}

int Qvad_DupStripQuotes(const char *text, char **copy) {
  if (text == nullptr || copy == nullptr) return 0;
  std::size_t offset, length;
  InnerText(text, &offset, &length);
  char *p = static_cast<char *>(std::malloc(length + 1));
  if (p == nullptr) return 0;
  std::memcpy(p, text + offset, length);
  p[length] = '\0';
  *copy = p;
  return 1;
}

int Qvad_FieldGetMem(std::FILE *file, char **line, QVAD_ERROR_TBL *err) {
  if (line != nullptr) *line = nullptr;
  if (file == nullptr || line == nullptr) {
    QVAD_FILL_ERROR(err, 22, plat::kErrInvalidParameter);
    return -1;
  }
  char *buffer = nullptr;
  std::size_t capacity = 0, length = 0;
  char chunk[kChunk];
  for (;;) {
    errno = 0;
    if (std::fgets(chunk, kChunk, file) == nullptr) {
      if (std::ferror(file)) {
        int e = errno;
        std::free(buffer);
        QVAD_FILL_ERROR(err, 3, static_cast<std::uint32_t>(e));
        return -1;
      }
      if (length == 0) {
        std::free(buffer);
        return 1;
      }
      break;  // a last line without a line feed is a line all the same
    }
    if (capacity + kChunk > kMaxLineBuffer) {
      std::free(buffer);
      QVAD_FILL_ERROR(err, 3, 0);
      return -1;
    }
    char *grown = static_cast<char *>(std::realloc(buffer, capacity + kChunk));
    if (grown == nullptr) {
      int e = errno;
      std::free(buffer);
      QVAD_FILL_ERROR(err, 12, static_cast<std::uint32_t>(e));
      return -1;
    }
    buffer = grown;
    capacity += kChunk;
    std::size_t n = std::strlen(chunk);
    std::memcpy(buffer + length, chunk, n + 1);
    length += n;
    if (n > 0 && chunk[n - 1] == '\n') break;
  }
  if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
    buffer[length - 2] = '\n';
    buffer[length - 1] = '\0';
  }
  *line = buffer;
  return 0;
}
