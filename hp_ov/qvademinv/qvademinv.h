// The inventory engine's three entry points and the record the host passes
// per node. One run: Init, File until it returns 1, Close.
#pragma once
#include <cstdint>

extern "C" {

#pragma pack(push, 1)
// Owned by the host; the engine fills it per node.
struct INV_INFO {
  char FileName[260];  // <install>\ret\<NodeName>.csv; empty for a removed node and after a failure
  char NodeName[129];
  char NodeAttr[40];
};
#pragma pack(pop)

// 0 ready; -4 no install folder; -5 query table; -6 settings, definitions,
// node list or own node; -10 run mutex.
std::int32_t Qvad_EmInvInit(void);
// 0 a node is in the record; 1 no node left; -5 the node's queries failed;
// -8 its collection failed (the node is consumed either way).
std::int32_t Qvad_EmInvFile(INV_INFO *info);
// Always 1.
std::int32_t Qvad_EmInvClose(void);

typedef std::int32_t (*QVAD_EMINVINIT)(void);
typedef std::int32_t (*QVAD_EMINVFILE)(INV_INFO *);
typedef std::int32_t (*QVAD_EMINVCLOSE)(void);
}

static_assert(sizeof(INV_INFO) == 429, "INV_INFO layout");
