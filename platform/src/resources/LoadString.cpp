// LoadStringA: string resources read from a module's exported string table.
#include <dlfcn.h>

#include <cstring>

#include "internal/Module.h"

int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size) {
    if (buffer == nullptr || size < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    void* dl = win32_internal::DlHandleOf(module);
    if (dl == nullptr) return 0;   // DlHandleOf set ERROR_INVALID_HANDLE
    using TableFunction = const STRINGRESOURCE* (*)();
    const auto tableOf = reinterpret_cast<TableFunction>(dlsym(dl, STRING_TABLE_SYMBOL));
    const STRINGRESOURCE* table = tableOf != nullptr ? tableOf() : nullptr;
    if (table != nullptr) {
        for (const STRINGRESOURCE* row = table; row->text != nullptr; ++row) {
            if (row->id != id) continue;
            const std::size_t length = std::strlen(row->text);
            if (length == 0) break;
            const std::size_t copied = length < static_cast<std::size_t>(size - 1) ? length : static_cast<std::size_t>(size - 1);
            std::memcpy(buffer, row->text, copied);
            buffer[copied] = '\0';
            return static_cast<int>(copied);
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}
