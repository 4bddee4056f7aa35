// The sample resource library of the tests, English.
#include "win32/win32.h"

namespace {

constexpr STRINGRESOURCE kStrings[] = {
    {1, "Hello"},
    {2, "Goodbye"},
    {7, "English only"},
    {0, nullptr},
};

}  // namespace

extern "C" const STRINGRESOURCE* OrvaneStringTable() { return kStrings; }
