// The check's output: text lines for a person, JSON for a script.
#include <cstdio>
#include <string>

#include "tools/qvadcheck/qvadcheck.h"

namespace {

const char *Name(CheckStatus s) {
  switch (s) {
    case CheckStatus::Ok: return "OK";
    case CheckStatus::Warn: return "WARN";
    default: return "FAIL";
  }
}

// A JSON string: quotes, backslashes (Windows paths) and control characters escaped.
std::string Json(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void Count(const CheckList &list, int *ok, int *warn, int *fail) {
  *ok = *warn = *fail = 0;
  for (const QVAD_CHECK &c : list.items) {
    if (c.status == CheckStatus::Ok) ++*ok;
    if (c.status == CheckStatus::Warn) ++*warn;
    if (c.status == CheckStatus::Fail) ++*fail;
  }
}

}  // namespace

int CheckExitStatus(const CheckList &list) {
  int ok, warn, fail;
  Count(list, &ok, &warn, &fail);
  return fail > 0 ? 2 : warn > 0 ? 1 : 0;
}

void PrintText(const CheckList &list, int exit_status) {
  for (const QVAD_CHECK &c : list.items) {
    std::string where = c.file;
    if (!c.key.empty()) where += " " + c.key;
    std::string line = where + ": " + c.message;
    if (!c.fix.empty()) line += " -- fix: " + c.fix;
    std::printf("%-4s %s\n", Name(c.status), line.c_str());
  }
  int ok, warn, fail;
  Count(list, &ok, &warn, &fail);
  const char *verdict = exit_status == 0   ? "a run would work"
                        : exit_status == 1 ? "a run would work, but see the warnings"
                                           : "a run would fail";
  std::printf("qvadcheck: %d OK, %d WARN, %d FAIL: %s\n", ok, warn, fail, verdict);
}

void PrintJson(const CheckList &list, int exit_status, const char *version) {
  int ok, warn, fail;
  Count(list, &ok, &warn, &fail);
  std::printf("{\n  \"program\": \"qvadcheck\",\n  \"version\": %s,\n  \"checks\": [", Json(version).c_str());
  bool first = true;
  for (const QVAD_CHECK &c : list.items) {
    std::printf("%s\n    {\"status\": %s, \"file\": %s, \"key\": %s, \"message\": %s, \"fix\": %s}", first ? "" : ",",
                Json(Name(c.status)).c_str(), Json(c.file).c_str(), Json(c.key).c_str(), Json(c.message).c_str(),
                Json(c.fix).c_str());
    first = false;
  }
  std::printf("\n  ],\n  \"summary\": {\"ok\": %d, \"warn\": %d, \"fail\": %d},\n  \"exit\": %d\n}\n", ok, warn, fail,
              exit_status);
}
