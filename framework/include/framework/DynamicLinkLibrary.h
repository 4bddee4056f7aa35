// DynamicLinkLibrary.h - owner of one library file loaded at run time.
//
// An object made from a file name loads the file and counts its own loads;
// it releases the module when the last of them is undone, or at destruction
// whatever the count. An object made from an existing module handle holds no
// load (loadCount 0) and therefore never releases the module.
//
// Thread-safety: none; one thread uses an object at a time.
#pragma once

#include <cstdint>
#include <string>

#include "win32/win32.h"

class DynamicLinkLibrary {
public:
    // Loads `fileName` (see Load). Null builds an empty object that loads nothing.
    explicit DynamicLinkLibrary(const char* fileName);
    // Wraps an already loaded module without taking a share in it.
    explicit DynamicLinkLibrary(HMODULE module);
    virtual ~DynamicLinkLibrary();

    DynamicLinkLibrary(const DynamicLinkLibrary&) = delete;
    DynamicLinkLibrary& operator=(const DynamicLinkLibrary&) = delete;

    // 1 when the module is loaded (a second Load only counts), 0 when the
    // file could not be loaded. No error dialog is shown for a missing file.
    // On an object made from a module handle: 1, and nothing is counted.
    int Load();
    // Undoes one load; the module is released when the count reaches 0.
    // Does nothing for an object without a load. Always 1.
    int Unload();
    // The entry's address, or null without a module or without such an entry.
    FARPROC FindEntry(const char* name) const;

    HMODULE GetHandle() const { return handle; }
    const std::string& GetPath() const { return path; }
    // File-name part of the path without directory and extension, upper case
    // ("DIVIZE32" for "C:\dir\divize32.dll"); at most 255 bytes.
    const std::string& GetBaseName() const { return baseName; }
    std::uint32_t GetLoadCount() const { return loadCount; }

    // The file-name part of `path` without drive, directory and extension,
    // upper-cased (ASCII) and cut to 255 bytes.
    static std::string BaseNameOf(const std::string& path);

private:
    HMODULE handle = nullptr;
    std::string path;
    std::string baseName;
    std::uint32_t loadCount = 0;
    bool wrapped = false;  // made from a module handle: never released here
};
