#pragma once
// Internal: binds the next window created on this thread to a CWnd object from
// its very first message on (WM_NCCREATE included), through a thread-local CBT
// hook that lives while the scope does. Used by CWnd::CreateEx and CDialog.

#include <windows.h>

namespace kelm {

class CWnd;

class CreationScope {
public:
    explicit CreationScope(CWnd& window) noexcept;
    ~CreationScope();
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;

private:
    CWnd* m_previous;
    HHOOK m_hook;
};

struct CreationAccess {
    static void BindCreatedWindow(CWnd& window, HWND handle) noexcept;
};

} // namespace kelm
