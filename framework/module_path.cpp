#include "framework/module_path.h"

#include <windows.h>

#include <vector>

namespace kelm {

std::wstring CurrentModulePath()
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace kelm
