// The sample resource library of the tests, German.
#include "win32/win32.h"

namespace {

constexpr STRINGRESOURCE kStrings[] = {
    {1, "Hallo"},
    {2, "Auf Wiedersehen"},
    {3, "Gr\xC3\xBC\xC3\x9F" "e"},
    {0, nullptr},
};

}  // namespace

extern "C" const STRINGRESOURCE* OrvaneStringTable() { return kStrings; }
