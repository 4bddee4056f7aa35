// ResourceLoader.h - localised resource libraries and string lookups.
//
// An application may name a resource library (ResourceLibraryName, a bare
// Windows library name such as "APPRES" or "AppRes.dll"). The first lookup
// loads it once per process: the language-specific copy found by
// FindLanguageFile next to the executable (de/, fr/, zhTW/ ...) and the
// library by its name through the usual LoadLibraryA search. When a library
// is named and neither loads, the process ends with exit status 99. Both are
// released at process exit. With no name, ResourceModule is DefaultModule
// (null: the executable itself). Resource libraries and their string tables:
// text/README-resources.md.
//
// Module used by the lookups: a given module; otherwise the preferred module,
// which is PreferredModule when set and else the loaded language library;
// then ResourceModule; LoadResString without a module falls back in that
// order and finally reads the executable.
//
// Paths: the executable's directory is the part of its path up to the last
// '/', and candidates are built with '/'. Inputs longer than the fixed
// limits (31-byte library name, 255-byte paths, 4-character language when
// its name is copied out) are refused, never cut or overrun.
//
// Thread-safety: the process-wide state has no lock. Setters and the first
// lookup run on one thread, before any other thread makes a lookup.
#pragma once

#include "text/Str.h"
#include "win32/win32.h"

// Names the resource library (at most 31 characters, or 27 when it does not
// end in ".dll", which is appended for the language search). Returns 1, or 0
// when the name is too long (the setting is then unchanged). Null or ""
// names no library. Takes effect at the first lookup only.
int SetResourceLibraryName(const char* name);
void SetDefaultModule(HMODULE module);
void SetPreferredModule(HMODULE module);

// Loads the named and language libraries; its body runs once per process.
void LoadResourceLibraries();
// Releases the named library, then the language library. Registered with
// the runtime's exit routines by the first load of a named library.
void FreeResourceLibraries();

// The preferred module when there is one, else ResourceModule (null: the
// executable). Loads the libraries first if needed.
HINSTANCE GetResourceInstance();

// String `id` into buffer (size in characters, terminator included). With a
// module: the characters copied, 0 when not found. Without: 1 when found in
// the preferred module or in ResourceModule, else the characters copied from
// the executable's own table, 0 when not found anywhere.
int LoadResString(UINT id, HINSTANCE module, char* buffer, int size);

// Directory name of a Windows language identifier (primary language in the
// low 10 bits, sub-language above) from the language table; "en" when no
// row matches.
const char* LanguageDirectoryFor(WORD languageId);
// The directory of the user's default locale (GetUserDefaultLCID).
const char* GetLanguageDirectory();

// Searches `file` next to the executable: language/file; the first two
// characters of language/file (only for names of 4 or more characters);
// file; en/file. Returns the path found (relative to the executable's
// directory when `relative` is non-zero), or a Str without text. With
// languageOut (5 bytes), the search stops at the plain file and languageOut
// receives the language of the path found; without it a later en/file
// replaces the plain file. With languageOut, a language of more than 4
// characters is refused (nothing found, languageOut untouched).
Str FindLocalizedFile(const char* file, const char* language, int relative, char* languageOut);
// FindLocalizedFile(file, GetLanguageDirectory(), relative, none).
Str FindLanguageFile(const char* file, int relative);
