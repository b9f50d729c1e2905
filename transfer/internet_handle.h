#pragma once
// Owner of a WinINet handle (session, connection or request).

#include "framework/handles.h"

#include <wininet.h>

namespace kelm {

struct InternetHandleTraits {
    static HINTERNET Invalid() noexcept { return nullptr; }
    static void Close(HINTERNET handle) noexcept { ::InternetCloseHandle(handle); }
};
using UniqueInternetHandle = UniqueHandleT<InternetHandleTraits>;

} // namespace kelm
