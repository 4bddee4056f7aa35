// The process-wide table behind every HANDLE of the layer, and CloseHandle.
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "internal/KernelObject.h"

namespace win32_internal {
namespace {

// Thread-safety: every member is guarded by mutex.
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values count up in steps of 4 (as Windows handles do) and are
    // never given out twice, so a stale handle cannot reach a newer object.
    std::uintptr_t lastValue = 0;
};

// Lives for the whole process on purpose: threads of closed libraries may
// still close or use handles while static objects are being destroyed.
HandleTable& Table() {
    static HandleTable* const table = new HandleTable;
    return *table;
}

std::uintptr_t ValueOf(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.lastValue += 4;
    table.objects.emplace(table.lastValue, std::move(object));
    return reinterpret_cast<HANDLE>(table.lastValue);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    HandleTable& table = Table();
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto found = table.objects.find(ValueOf(handle));
        if (found != table.objects.end()) return found->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

bool RemoveHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::shared_ptr<KernelObject> removed;   // destroyed after the lock is released
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto found = table.objects.find(ValueOf(handle));
        if (found != table.objects.end()) {
            removed = std::move(found->second);
            table.objects.erase(found);
        }
    }
    if (!removed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

}  // namespace win32_internal

BOOL CloseHandle(HANDLE handle) { return win32_internal::RemoveHandle(handle) ? TRUE : FALSE; }
