// ResourceLoaderTesting.h - seams of the resource loader for tests.
// Production code never calls these.
#pragma once

#include "win32/win32.h"

namespace text_testing {

// FindLocalizedFile takes this as the executable's full path (null: the
// real one from GetModuleFileNameA).
void SetExecutablePathOverride(const char* path);

// Releases any loaded libraries and returns every piece of the loader's
// process-wide state to its initial value (nothing loaded, no name, no
// modules), so that the next lookup loads again.
void ResetResourceLoader();

// The loader's state, for inspection.
HMODULE NamedLibrary();
HMODULE LanguageLibrary();
HMODULE ResourceModule();
bool ResourcesLoaded();

}  // namespace text_testing
