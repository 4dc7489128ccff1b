// Node list files: "name,attribute" lines as the warehouse writes them,
// read into singly linked lists in file order.
#include "cmn/qvadmiscinv/qvadnodelist.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "platform/error.h"
#include "platform/host.h"

namespace {

struct ListOwner {
  NodeEntry *head = nullptr;
  NodeEntry *tail = nullptr;
  ~ListOwner() { Qvad_FreeNodeList(head); }
  void Append(NodeEntry *e) {
    if (tail == nullptr) {
      head = e;
    } else {
      tail->next = e;
    }
    tail = e;
  }
  NodeEntry *Release() {
    NodeEntry *h = head;
    head = tail = nullptr;
    return h;
  }
};

// Reads the file; with own_name set, entries whose short name equals it go
// to the front, each group in file order.
int ReadList(NodeEntry **head, const char *path, const char *own_name, QVAD_ERROR_TBL *error) {
  QvadFile f(std::fopen(path, "r"));
  if (!f) {
    QVAD_FILL_ERROR(error, 2, static_cast<std::uint32_t>(errno));
    return 0;
  }
  ListOwner own, main;
  char line[1024];
  for (;;) {
    std::memset(line, 0, sizeof line);
    errno = 0;
    if (std::fgets(line, sizeof line, f.get()) == nullptr) {
      if (std::ferror(f.get())) {
        QVAD_FILL_ERROR(error, 3, static_cast<std::uint32_t>(errno));
        return 0;
      }
      break;
    }
    // The rest of a line longer than the buffer is skipped. Unless the
    // buffer holds the first two fields whole (a third one has begun), the
    // entry is refused when a run reaches it: one odd device does not cost
    // the whole list.
    std::size_t len = std::strlen(line);
    bool too_long = false;
    if (len == sizeof line - 1 && line[len - 1] != '\n' && !std::feof(f.get())) {
      too_long = Qvad_FieldCount(line) < 3;
      int ch;
      while ((ch = std::fgetc(f.get())) != EOF && ch != '\n') {
      }
    }
    // Readers accept CR LF line ends as well as LF.
    if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
    if (len > 0 && line[len - 1] == '\r') line[--len] = '\0';
    auto *e = static_cast<NodeEntry *>(std::calloc(1, sizeof(NodeEntry)));
    if (e == nullptr) {
      QVAD_FILL_ERROR(error, 12, static_cast<std::uint32_t>(errno));
      return 0;
    }
    QvadMallocPtr<NodeEntry> hold(e);
    char name[sizeof line], attr[sizeof line];
    if (Qvad_FieldSplit(line, ',', 1, name, sizeof name) != 1 ||
        (Qvad_FieldSplit(line, ',', 2, attr, sizeof attr) != 1 && !too_long)) {
      QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
      return 0;
    }
    Qvad_StripQuotes(name);
    Qvad_StripQuotes(attr);
    // The limits apply to the texts the host receives, without their quotes.
    too_long = too_long || std::strlen(name) >= sizeof e->NodeName || std::strlen(attr) >= sizeof e->NodeAttr;
    std::snprintf(e->NodeName, sizeof e->NodeName, "%.*s", static_cast<int>(sizeof e->NodeName - 1), name);
    std::snprintf(e->NodeAttr, sizeof e->NodeAttr, "%.*s", static_cast<int>(sizeof e->NodeAttr - 1), attr);
    e->TooLong = too_long;
    bool is_own = false;
    if (own_name != nullptr) {
      char short_name[129];
      if (!Qvad_NodeShortName(e->NodeName, short_name, sizeof short_name)) {
        QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
        return 0;
      }
      is_own = std::strcmp(short_name, own_name) == 0;
    }
    (is_own ? own : main).Append(hold.release());
  }
  if (own.tail != nullptr) {
    own.tail->next = main.Release();
    *head = own.Release();
  } else {
    *head = main.Release();
  }
  return 1;
}

}  // namespace

void Qvad_FreeNodeList(NodeEntry *head) {
  while (head != nullptr) {
    NodeEntry *next = head->next;
    std::free(head);
    head = next;
  }
}

bool Qvad_NodeShortName(const char *name, char *out, int size) { return Qvad_FieldSplit(name, '.', 1, out, size) == 1; }

int Qvad_CreateNodeBak(const char *current_path, const char *backup_path, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  std::remove(backup_path);
  if (std::rename(current_path, backup_path) != 0) {
    QVAD_FILL_ERROR(error, 2, static_cast<std::uint32_t>(errno));
    return 0;
  }
  return 1;
}

int Qvad_GetNodeInfoEx(NodeEntry **head, const char *path, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (head == nullptr || path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *head = nullptr;
  char own[129] = {};
  if (Qvad_GetHostName(own, sizeof own, error) != 1) return 0;
  return ReadList(head, path, own, error);
}

int Qvad_GetNodeInfo(NodeEntry **head, const char *path, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (head == nullptr || path == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *head = nullptr;
  return ReadList(head, path, nullptr, error);
}

int Qvad_GetRmNodeInfo(NodeEntry **head, const char *backup_path, const NodeEntry *current, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  if (head == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  *head = nullptr;
  NodeEntry *backup = nullptr;
  if (Qvad_GetNodeInfo(&backup, backup_path, error) != 1) return 0;
  ListOwner old;
  old.head = backup;
  ListOwner removed;
  for (const NodeEntry *b = backup; b != nullptr; b = b->next) {
    if (b->TooLong) continue;
    bool present = false;
    for (const NodeEntry *c = current; c != nullptr && !present; c = c->next) {
      present = std::strcmp(c->NodeName, b->NodeName) == 0;
    }
    if (present) continue;
    auto *e = static_cast<NodeEntry *>(std::calloc(1, sizeof(NodeEntry)));
    if (e == nullptr) {
      QVAD_FILL_ERROR(error, 12, static_cast<std::uint32_t>(errno));
      return 0;
    }
    std::memcpy(e->NodeName, b->NodeName, sizeof e->NodeName);
    std::memcpy(e->NodeAttr, b->NodeAttr, sizeof e->NodeAttr);
    removed.Append(e);
  }
  *head = removed.Release();
  return 1;
}

int Qvad_GetHostName(char *buffer, std::size_t size, QVAD_ERROR_TBL *error) {
  Qvad_ResetError(error);
  std::uint32_t code = 0;
  int r = plat::HostName(buffer, size, &code);
  if (r != 1) {
    if (size > 0) buffer[0] = '\0';
    QVAD_FILL_ERROR(error, 22, code);
    return 0;
  }
  return 1;
}
