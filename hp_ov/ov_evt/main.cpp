// The event forwarding service program.
#include "hp_ov/ov_evt/ovmain.h"
#include "platform/service.h"

int main() {
  // Before anything else: a stop that comes this early must still end in
  // the clean stop (stop time kept, end event reported, status 1).
  plat::BlockServiceControls();
  return OvMain();
}
