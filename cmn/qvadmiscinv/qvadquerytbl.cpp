// Reading the query table and filling its templates.
#include "cmn/qvadmiscinv/qvadquerytbl.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cmn/qvadprofile.h"
#include "platform/error.h"

void Qvad_FreeQueryTbl(QueryTableEntry *head) {
  while (head != nullptr) {
    QueryTableEntry *next = head->next;
    std::free(head);
    head = next;
  }
}

bool Qvad_SameTableKey(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool Qvad_QueryTblHasKey(const QueryTableEntry *head, const char *name) {
  for (const QueryTableEntry *q = head; q != nullptr; q = q->next) {
    if (Qvad_SameTableKey(q->key, name)) return true;
  }
  return false;
}

int Qvad_GetQueryTbl(QueryTableEntry **head, const char *ini_path, const char *section, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (head == nullptr || section == nullptr || ini_path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *head = nullptr;
  char keys[1024] = {};
  QvadGetPrivateProfileString(section, nullptr, "", keys, sizeof keys, ini_path);
  if (keys[0] == '\0') {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  QueryTableEntry *tail = nullptr;
  for (const char *key = keys; *key != '\0'; key += std::strlen(key) + 1) {
    // The key names a file; one that does not fit the entry would be cut and
    // could collide with another key's file, so it is refused.
    if (std::strlen(key) >= sizeof tail->key) {
      Qvad_FreeQueryTbl(*head);
      *head = nullptr;
      QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
      return 0;
    }
    char value[1024] = {};
    QvadGetPrivateProfileString(section, key, "", value, sizeof value, ini_path);
    auto *entry = static_cast<QueryTableEntry *>(std::calloc(1, sizeof(QueryTableEntry)));
    if (entry == nullptr) {
      Qvad_FreeQueryTbl(*head);
      *head = nullptr;
      QVAD_FILL_ERROR(error, 12, static_cast<std::uint32_t>(errno));
      return 0;
    }
    std::memcpy(entry->query, value, sizeof value);
    std::memcpy(entry->key, key, std::strlen(key) + 1);  // length checked above
    if (tail == nullptr) {
      *head = entry;
    } else {
      tail->next = entry;
    }
    tail = entry;
  }
  return 1;
}

bool Qvad_FormatQuery(const char *query_template, const char *node, char *out, std::uint32_t size) {
  if (query_template == nullptr || node == nullptr || out == nullptr || size == 0) return false;
  std::memset(out, 0, size);
  std::string_view t(query_template);
  std::string_view name(node);
  std::uint32_t n = 0;
  auto put = [&](std::string_view piece) {
    if (n + piece.size() >= size) return false;
    std::memcpy(out + n, piece.data(), piece.size());
    n += static_cast<std::uint32_t>(piece.size());
    return true;
  };
  for (std::size_t i = 0; i < t.size(); ++i) {
    bool ok;
    if (t[i] != '%') {
      ok = put(t.substr(i, 1));
    } else if (i + 1 < t.size() && t[i + 1] == 's') {
      ok = put(name);
      ++i;
    } else if (i + 1 < t.size() && t[i + 1] == '%') {
      ok = put("%");
      ++i;
    } else {
      ok = false;
    }
    if (!ok) {
      std::memset(out, 0, size);
      return false;
    }
  }
  return true;
}
