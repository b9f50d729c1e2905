#pragma once
// DLLs that are loaded when first needed, from the system folder only: never
// from the program's own folder or the current folder, where somebody else may
// have put a DLL of the same name.

#include <windows.h>

namespace kelm {

// The system's DLL `name` (for instance L"wintrust.dll"), loaded once from the
// system folder and kept for the process; null when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* name) noexcept;

// A function of such a DLL, cast to its type; null when missing.
template <typename Function>
Function SystemFunction(HMODULE library, const char* name) noexcept
{
    return library ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)))
                   : nullptr;
}

} // namespace kelm
