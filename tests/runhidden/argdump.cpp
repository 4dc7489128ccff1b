// A child for the launcher tests: after $ARGDUMP_SLEEP_MS milliseconds it
// writes its arguments, joined by '|', to $ARGDUMP_FILE and exits with
// $ARGDUMP_EXIT.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char **argv) {
  const char *sleep = std::getenv("ARGDUMP_SLEEP_MS");
  if (sleep != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));
  const char *file = std::getenv("ARGDUMP_FILE");
  if (file == nullptr) return 2;
  std::string all;
  for (int i = 1; i < argc; ++i) all += (i > 1 ? "|" : "") + std::string(argv[i]);
  std::ofstream(file, std::ios::binary) << all;
  const char *code = std::getenv("ARGDUMP_EXIT");
  return code != nullptr ? std::atoi(code) : 0;
}
