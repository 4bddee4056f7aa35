// The string table of the resource test program itself (null module).
#include "win32/win32.h"

namespace {

constexpr STRINGRESOURCE kStrings[] = {
    {1, "Program hello"},
    {9, "Program only"},
    {10, "A string of exactly forty characters...."},
    {0, nullptr},
};

}  // namespace

extern "C" const STRINGRESOURCE* OrvaneStringTable() { return kStrings; }
