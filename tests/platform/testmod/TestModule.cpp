// The library behind "TESTMOD.DLL" in the module tests.
extern "C" __attribute__((visibility("default"))) int TestModuleAnswer() { return 42; }
