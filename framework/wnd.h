#pragma once
// CWnd: a C++ object bound to one window. The object replaces the window's
// window procedure (subclassing) from the window's first message on when the
// framework creates the window, or from SubclassWindow on for a window that
// exists already (dialog items). Messages go through the class's message map;
// whatever the map does not handle goes to the previous window procedure.
// Nothing thrown by a handler leaves the window procedure.

#include <windows.h>

#include <string>

#include "framework/geometry.h"
#include "framework/message_map.h"
#include "framework/runtime_class.h"

namespace kelm {

class CWnd {
public:
    CWnd() noexcept = default;
    // Destroys a window this object created; gives a subclassed window back
    // its own window procedure.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    operator HWND() const noexcept { return m_hWnd; }

    // The object bound to a window, or null.
    static CWnd* FromHandlePermanent(HWND window) noexcept;

    // Run-time class test.
    static const RuntimeClass* ClassInfo() noexcept;
    virtual const RuntimeClass* GetRuntimeClass() const noexcept;
    bool IsKindOf(const RuntimeClass* runtimeClass) const noexcept
    {
        return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
    }

    // Creation and destruction.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id);
    // A child or pop-up window of the framework's plain window class (no background brush,
    // arrow cursor, no double-click messages).
    bool Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    bool DestroyWindow() noexcept;

    // Binding existing windows.
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow() noexcept;

    // Hooks for derived classes.
    // Called for every message of the modal loop and CWinApp's loop, first for the
    // message's own window and then for each parent up to the top-level window;
    // TRUE means handled (the message is not dispatched).
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Called once the object is bound to its window and before it receives messages.
    virtual void PreSubclassWindow();
    // Reflection: a parent hands its WM_DRAWITEM and WM_CTLCOLORxxx about a
    // control to the control's object before its own message map.
    // The parent's WM_DRAWITEM about this control: true when the control drew itself.
    virtual bool ReflectDrawItem(DRAWITEMSTRUCT* item);
    // The parent's WM_CTLCOLORxxx about this control (controlType CTLCOLOR_EDIT, ...):
    // the brush to paint with, or null to leave the colours to the parent.
    virtual HBRUSH CtlColor(HDC dc, UINT controlType);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual const MessageMap* GetMessageMap() const;
    // The default processing of a message: the window's previous window procedure
    // (the system's default one for a window of the framework's own class). A
    // typed handler that wants it passes its message on, re-packed from its
    // arguments.
    LRESULT Default(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Thin wrappers.
    CWnd* GetParent() const noexcept; // the parent's object, or null
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }
    DWORD GetStyle() const noexcept { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const noexcept { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    // Removes then adds style bits; with swpFlags, also SetWindowPos(..., swpFlags) so the
    // frame is recalculated (e.g. SWP_FRAMECHANGED). Returns whether the style changed.
    bool ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0) noexcept;
    bool ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0) noexcept;
    BOOL ShowWindow(int command) noexcept { return ::ShowWindow(m_hWnd, command); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) noexcept
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL MoveWindow(const RECT& rect, BOOL repaint = TRUE) noexcept
    {
        return ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
    }
    CRect GetClientRect() const noexcept;
    CRect GetWindowRect() const noexcept;
    BOOL Invalidate(BOOL erase = TRUE) noexcept { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL InvalidateRect(const RECT* rect, BOOL erase = TRUE) noexcept { return ::InvalidateRect(m_hWnd, rect, erase); }
    BOOL UpdateWindow() noexcept { return ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(const RECT* rect, HRGN region, UINT flags) noexcept
    {
        return ::RedrawWindow(m_hWnd, rect, region, flags);
    }
    BOOL IsWindowVisible() const noexcept { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) noexcept { return ::EnableWindow(m_hWnd, enable); }
    HWND SetFocus() noexcept { return ::SetFocus(m_hWnd); }
    BOOL SetWindowTextW(const std::wstring& text) noexcept { return ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowTextW() const;
    LRESULT SendMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR timerId, UINT elapseMilliseconds) noexcept
    {
        return ::SetTimer(m_hWnd, timerId, elapseMilliseconds, nullptr);
    }
    BOOL KillTimer(UINT_PTR timerId) noexcept { return ::KillTimer(m_hWnd, timerId); }
    HICON SetIcon(HICON icon, BOOL bigIcon) noexcept
    {
        return reinterpret_cast<HICON>(SendMessageW(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL,
                                                    reinterpret_cast<LPARAM>(icon)));
    }
    int MessageBoxW(const wchar_t* text, const wchar_t* caption, UINT type = MB_OK) noexcept
    {
        return ::MessageBoxW(m_hWnd, text, caption, type);
    }

protected:
    static const MessageMap* GetThisMessageMap();
    // Finds and runs this class's (or a base class's) handler; false when there is none.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Marks the window as created by this object: the destructor destroys it.
    void SetOwnsWindow(bool owns) noexcept { m_ownsWindow = owns; }

private:
    friend struct CreationAccess;
    static LRESULT CALLBACK StandardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Bind(HWND window) noexcept;
    void Unbind() noexcept;

    WNDPROC m_previousWndProc = nullptr;
    bool m_ownsWindow = false;
};

// The object of `window` when it is a T (or derived from it), else null. T must
// use KELM_DECLARE_DYNAMIC itself.
template <typename T>
T* DynamicDowncast(CWnd* window) noexcept
{
    static_assert(std::is_same_v<typename T::KelmDynamicClass, T>, "T lacks KELM_DECLARE_DYNAMIC");
    return window != nullptr && window->IsKindOf(T::ClassInfo()) ? static_cast<T*>(window) : nullptr;
}

// Runs PreTranslateMessage of the message's window and of each parent up to the
// top-level window; true when one of them handled the message.
bool WalkPreTranslateTree(MSG* msg);

} // namespace kelm
