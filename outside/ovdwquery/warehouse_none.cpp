// Builds without SQLite: only canned results are served.
#include "warehouse.h"

bool RunWarehouseQuery(const std::string &, const std::string &, std::FILE *, std::string *message) {
  *message = "this build has no SQLite warehouse; set OVDWQUERY_CANNED";
  return false;
}
