// The event forwarding service program.
#include "hp_ov/ov_evt/ovmain.h"

int main() { return OvMain(); }
