// The message library holds only its message table; this is its one code
// file, since a shared library needs at least one.
extern "C" int RazMessageVersion() { return 1; }
