// The library the needy fake engine cannot do without.
extern "C" int FakeEngineNeeded(void) { return 0; }
