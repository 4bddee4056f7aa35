// The sample resource library of the tests, language-neutral copy next to
// the executable.
#include "win32/win32.h"

namespace {

constexpr STRINGRESOURCE kStrings[] = {
    {1, "Hello (neutral)"},
    {5, "Neutral only"},
    {6, ""},
    {0, nullptr},
};

}  // namespace

extern "C" const STRINGRESOURCE* OrvaneStringTable() { return kStrings; }
