// The events reported while a test ran, one "type 0xID [string]..." each.
#pragma once
#include <string>
#include <vector>

namespace qvtest {
extern std::vector<std::string> g_events;
}
