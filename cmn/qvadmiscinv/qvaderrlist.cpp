// Building and freeing error lists.
#include "cmn/qvadmiscinv/qvaderrlist.h"

#include <cstdlib>
#include <cstring>

namespace {
INI_ERROR_NODE *Append(INI_ERROR_NODE **list, INI_ERROR_NODE *node) {
  if (list == nullptr) {
    std::free(node);
    return nullptr;
  }
  INI_ERROR_NODE **tail = list;
  while (*tail != nullptr) tail = &(*tail)->Next;
  *tail = node;
  return *list;
}
}  // namespace

INI_ERROR_NODE *Qvad_IniErrorAdd(INI_ERROR_NODE **list, std::int32_t local_code, std::uint32_t system_code,
                                 std::int32_t ini_cnt, std::int32_t line, const char *source) {
  auto *node = static_cast<INI_ERROR_NODE *>(std::calloc(1, sizeof(INI_ERROR_NODE)));
  if (node == nullptr) return list ? *list : nullptr;
  node->IniCnt = ini_cnt;
  Qvad_SetError(&node->Error, local_code, system_code, line, source);
  return Append(list, node);
}

INI_ERROR_NODE *Qvad_InvErrorAdd(INI_ERROR_NODE **list, std::int32_t ini_cnt, const QVAD_ERROR_TBL *error) {
  auto *node = static_cast<INI_ERROR_NODE *>(std::calloc(1, sizeof(INI_ERROR_NODE)));
  if (node == nullptr) return list ? *list : nullptr;
  node->IniCnt = ini_cnt;
  if (error != nullptr) std::memcpy(&node->Error, error, sizeof node->Error);
  node->Error.source[sizeof node->Error.source - 1] = '\0';
  return Append(list, node);
}

void Qvad_IniErrorFree(INI_ERROR_NODE **list) {
  if (list == nullptr) return;
  while (*list != nullptr) {
    INI_ERROR_NODE *next = (*list)->Next;
    std::free(*list);
    *list = next;
  }
}
