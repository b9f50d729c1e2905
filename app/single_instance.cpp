#include "app/single_instance.h"

#include "app/window_class.h"

namespace kelm {

InstanceGuard CreateInstanceGuard() noexcept
{
    InstanceGuard guard;
    guard.semaphore.Reset(::CreateSemaphoreW(nullptr, 0, 1, kInstanceSemaphoreName));
    guard.otherCopyRunning = guard.semaphore && ::GetLastError() == ERROR_ALREADY_EXISTS;
    return guard;
}

bool ActivateFirstCopy() noexcept
{
    HWND window = ::FindWindowW(kInstallerWindowClass, nullptr);
    if (window == nullptr)
        return false;
    if (::IsIconic(window))
        ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    return true;
}

} // namespace kelm
