#include "framework/system_library.h"

#include <string>

namespace kelm {

HMODULE SystemLibrary(const wchar_t* name) noexcept
{
    // Kept for the whole process: a second call only takes another reference.
    if (HMODULE library = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return library;
    // A system without the search flags (Windows 7 before its loader update):
    // the full path of the system folder's copy.
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    try {
        const std::wstring path = std::wstring(system) + L"\\" + name;
        return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } catch (...) {
        return nullptr;
    }
}

} // namespace kelm
