// The event line parsers and host tests. Fields are found by searching, not
// by position: the time runs to the first space, the host sits between the
// last space before the first TAB and that TAB, the message starts after the
// first space behind the TAB and runs to the next ";", and the severity token
// follows the first ";" up to the next space.
#include "hp_ov/ov_evt/ovparse.h"

#include <cstring>
#include <string_view>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

int OvGetEventTime(const char *text, std::int32_t *time) {
  std::string_view t(text);
  std::size_t space = t.find(' ');
  if (space == std::string_view::npos) return kOvNoSpace;
  // Longer than the time field, or beyond the 32-bit clock: not a time of
  // ours, however many digits it has.
  if (space > static_cast<std::size_t>(kOvTimeFieldMax)) return kOvNotNumber;
  std::int64_t value = 0;
  for (std::size_t i = 0; i < space; ++i) {
    if (!IsDigit(t[i])) return kOvNotNumber;
    value = value * 10 + (t[i] - '0');
  }
  if (value > INT32_MAX) return kOvNotNumber;
  *time = static_cast<std::int32_t>(value);
  return 0;
}

int OvGetHostName(const char *line, char *host) {
  std::string_view l(line);
  std::size_t tab = l.find('\t');
  if (tab == std::string_view::npos) return kOvNoTab;
  std::size_t space = l.substr(0, tab).rfind(' ');
  if (space == std::string_view::npos) return kOvNoSpace;
  std::size_t len = tab - space - 1;
  if (len > static_cast<std::size_t>(kOvHostSize - 1)) return kOvFieldTooLong;
  std::memcpy(host, line + space + 1, len);
  host[len] = '\0';
  return 0;
}

int OvGetEventMessage(const char *line, char *message) {
  std::string_view l(line);
  std::size_t tab = l.find('\t');
  if (tab == std::string_view::npos) return kOvNoTab;
  std::size_t space = l.find(' ', tab + 1);
  if (space == std::string_view::npos) return kOvNoSpace;
  std::string_view text = l.substr(space + 1);
  std::size_t semi = text.find(';');
  if (semi != std::string_view::npos) text = text.substr(0, semi);
  if (text.size() >= 2047) text = text.substr(0, 2046);
  // The console formats the text, so a percent sign or backslash must reach
  // it doubled to arrive as itself; 2046 doubled characters fit the field.
  std::size_t out = 0;
  for (char c : text) {
    if (c == '%' || c == '\\') message[out++] = c;
    message[out++] = c;
  }
  message[out] = '\0';
  return 0;
}

int OvGetSeverity(const char *line, char *key) {
  std::string_view l(line);
  std::size_t semi = l.find(';');
  if (semi == std::string_view::npos) return kOvNoSemicolon;
  std::size_t space = l.find(' ', semi + 1);
  if (space == std::string_view::npos) return kOvNoSpace;
  std::size_t len = space - semi - 1;
  if (len > static_cast<std::size_t>(kOvSeveritySize - 1)) return kOvFieldTooLong;
  std::memcpy(key, line + semi + 1, len);
  key[len] = '\0';
  return 0;
}

void OvToLower(char *text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
}

bool OvIsIpAddress(const char *text) {
  int groups = 0, digits = 0;
  for (const char *p = text;; ++p) {
    if (IsDigit(*p)) {
      if (++digits > 3) return false;
    } else if (*p == '.' || *p == '\0') {
      if (digits == 0) return false;
      ++groups;
      digits = 0;
      if (*p == '\0') return groups == 4;
      if (groups == 4) return false;
    } else {
      return false;
    }
  }
}

bool OvIsHostName(const char *text) {
  if (*text == '\0') return false;
  bool named = false;
  for (const char *p = text; *p != '\0' && *p != '.'; ++p) {
    if (IsLetter(*p) || *p == '-') {
      named = true;
    } else if (!IsDigit(*p)) {
      return false;
    }
  }
  return named;
}
