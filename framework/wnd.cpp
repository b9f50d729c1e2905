#include "framework/wnd.h"

#include <utility>
#include <vector>

#include "framework/creation_hook.h"

namespace kelm {

namespace {

// The window property that points from a window to its object.
constexpr wchar_t kObjectProperty[] = L"KelmWindowObject";
constexpr wchar_t kPlainWindowClass[] = L"KelmPlainWindow";

// The entry of `map` (and its bases) that handles the message, or null.
const MessageMapEntry* FindEntry(const MessageMap* map, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    for (; map != nullptr; map = map->baseMap != nullptr ? map->baseMap() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->kind != MessageEntryKind::End; ++entry) {
            if (message == WM_COMMAND && entry->kind == MessageEntryKind::Command) {
                UINT code = HIWORD(wParam);
                if (code == 1 && lParam == 0)
                    code = 0; // an accelerator counts as the command itself
                if (entry->code == code && entry->id == LOWORD(wParam))
                    return entry;
            } else if (entry->kind == MessageEntryKind::Message && entry->message == message) {
                return entry;
            }
        }
    }
    return nullptr;
}

bool RegisterPlainWindowClass() noexcept
{
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        // No CS_DBLCLKS: every press arrives as WM_LBUTTONDOWN.
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kPlainWindowClass;
        return ::RegisterClassW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

} // namespace

// ---- creation hook --------------------------------------------------------

namespace {

thread_local CWnd* t_windowToBind = nullptr;

// The system may create the thread's input-method window while the first
// top-level window is being created; it is not the window being waited for.
bool IsInputMethodWindow(LPARAM createParameters) noexcept
{
    const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(createParameters);
    if (create == nullptr || create->lpcs == nullptr)
        return false;
    const wchar_t* className = create->lpcs->lpszClass;
    return className != nullptr && !IS_INTRESOURCE(className) && ::lstrcmpiW(className, L"IME") == 0;
}

LRESULT CALLBACK CreationHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept
{
    if (code == HCBT_CREATEWND && t_windowToBind != nullptr && !IsInputMethodWindow(lParam)) {
        CWnd* window = std::exchange(t_windowToBind, nullptr);
        CreationAccess::BindCreatedWindow(*window, reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

CreationScope::CreationScope(CWnd& window) noexcept
    : m_previous(std::exchange(t_windowToBind, &window)),
      m_hook(::SetWindowsHookExW(WH_CBT, CreationHookProc, nullptr, ::GetCurrentThreadId()))
{
}

CreationScope::~CreationScope()
{
    if (m_hook != nullptr)
        ::UnhookWindowsHookEx(m_hook);
    t_windowToBind = m_previous;
}

void CreationAccess::BindCreatedWindow(CWnd& window, HWND handle) noexcept
{
    window.Bind(handle);
    window.m_ownsWindow = true;
    try {
        window.PreSubclassWindow();
    } catch (...) {
        ::OutputDebugStringW(L"Kelm: PreSubclassWindow threw\r\n");
    }
}

// ---- CWnd -----------------------------------------------------------------

CWnd::~CWnd()
{
    if (m_hWnd == nullptr)
        return;
    bool owns = m_ownsWindow;
    HWND window = UnsubclassWindow();
    if (owns && ::IsWindow(window))
        ::DestroyWindow(window);
}

CWnd* CWnd::FromHandlePermanent(HWND window) noexcept
{
    return window != nullptr ? static_cast<CWnd*>(::GetPropW(window, kObjectProperty)) : nullptr;
}

const RuntimeClass* CWnd::ClassInfo() noexcept
{
    static const RuntimeClass info{"CWnd", nullptr};
    return &info;
}

const RuntimeClass* CWnd::GetRuntimeClass() const noexcept
{
    return ClassInfo();
}

const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = {{MessageEntryKind::End, 0, 0, 0, nullptr}};
    static const MessageMap map{nullptr, entries};
    return &map;
}

const MessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

void CWnd::Bind(HWND window) noexcept
{
    m_hWnd = window;
    ::SetPropW(window, kObjectProperty, this);
    m_previousWndProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StandardWindowProc)));
}

void CWnd::Unbind() noexcept
{
    if (m_hWnd == nullptr)
        return;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == &CWnd::StandardWindowProc &&
        m_previousWndProc != nullptr)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousWndProc));
    ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
    m_previousWndProc = nullptr;
    m_ownsWindow = false;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id)
{
    if (m_hWnd != nullptr)
        return false;
    HWND parentWindow = parent != nullptr ? parent->m_hWnd : nullptr;
    auto menuOrId = (style & WS_CHILD) != 0 ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    HWND created;
    {
        CreationScope scope(*this);
        created = ::CreateWindowExW(exStyle, className, windowName, style, rect.left, rect.top,
                                    rect.right - rect.left, rect.bottom - rect.top, parentWindow, menuOrId,
                                    ::GetModuleHandleW(nullptr), nullptr);
    }
    if (created == nullptr && m_hWnd != nullptr)
        Unbind(); // creation failed after the object was bound (WM_NCCREATE or WM_CREATE refused)
    if (created != nullptr && m_hWnd != created) {
        ::DestroyWindow(created); // not bound to this object (no creation hook): not ours to keep
        return false;
    }
    return created != nullptr;
}

bool CWnd::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!RegisterPlainWindowClass())
        return false;
    return CreateEx(0, kPlainWindowClass, L"", style, rect, parent, id);
}

bool CWnd::DestroyWindow() noexcept
{
    return m_hWnd != nullptr && ::DestroyWindow(m_hWnd) != FALSE;
}

bool CWnd::SubclassWindow(HWND window)
{
    if (m_hWnd != nullptr || window == nullptr || FromHandlePermanent(window) != nullptr)
        return false;
    // Only the thread that owns a window may replace its window procedure.
    if (::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId())
        return false;
    Bind(window);
    m_ownsWindow = false;
    try {
        PreSubclassWindow();
    } catch (...) {
        ::OutputDebugStringW(L"Kelm: PreSubclassWindow threw\r\n");
    }
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (parent == nullptr || parent->m_hWnd == nullptr)
        return false;
    HWND item = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return item != nullptr && SubclassWindow(item);
}

HWND CWnd::UnsubclassWindow() noexcept
{
    HWND window = m_hWnd;
    Unbind();
    return window;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

void CWnd::PreSubclassWindow()
{
}

bool CWnd::ReflectDrawItem(DRAWITEMSTRUCT*)
{
    return false;
}

HBRUSH CWnd::CtlColor(HDC, UINT)
{
    return nullptr;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        CWnd* control = item != nullptr && item->CtlType != ODT_MENU && item->hwndItem != m_hWnd
                            ? FromHandlePermanent(item->hwndItem)
                            : nullptr;
        if (control != nullptr && control->ReflectDrawItem(item)) {
            *result = TRUE;
            return true;
        }
    } else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const HWND child = reinterpret_cast<HWND>(lParam);
        CWnd* control = child != m_hWnd ? FromHandlePermanent(child) : nullptr;
        if (HBRUSH brush = control != nullptr ? control->CtlColor(reinterpret_cast<HDC>(wParam),
                                                                   message - WM_CTLCOLORMSGBOX)
                                              : nullptr) {
            *result = reinterpret_cast<LRESULT>(brush);
            return true;
        }
    }
    const MessageMapEntry* entry = FindEntry(GetMessageMap(), message, wParam, lParam);
    if (entry == nullptr)
        return false;
    *result = entry->handler(*this, message, wParam, lParam);
    return true;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return Default(message, wParam, lParam);
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_previousWndProc != nullptr)
        return ::CallWindowProcW(m_previousWndProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::StandardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* object = FromHandlePermanent(window);
    if (object == nullptr)
        return ::DefWindowProcW(window, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = object->WindowProc(message, wParam, lParam);
    } catch (...) {
        ::OutputDebugStringW(L"Kelm: a message handler threw; the message counts as handled\r\n");
        result = 0;
    }
    if (message == WM_NCDESTROY)
        object->Unbind(); // the window's last message: the object lets go of it
    return result;
}

CWnd* CWnd::GetParent() const noexcept
{
    return FromHandlePermanent(::GetParent(m_hWnd));
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) noexcept
{
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return false;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    if (swpFlags != 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return true;
}

bool CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) noexcept
{
    DWORD style = GetExStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return false;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(changed));
    if (swpFlags != 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return true;
}

CRect CWnd::GetClientRect() const noexcept
{
    CRect rect;
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

CRect CWnd::GetWindowRect() const noexcept
{
    CRect rect;
    ::GetWindowRect(m_hWnd, &rect);
    return rect;
}

std::wstring CWnd::GetWindowTextW() const
{
    int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

bool WalkPreTranslateTree(MSG* msg)
{
    for (HWND window = msg->hwnd; window != nullptr;) {
        if (CWnd* object = CWnd::FromHandlePermanent(window); object != nullptr) {
            try {
                if (object->PreTranslateMessage(msg))
                    return true;
            } catch (...) {
                ::OutputDebugStringW(L"Kelm: PreTranslateMessage threw; the message is dropped\r\n");
                return true;
            }
        }
        if ((::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0)
            break; // the top-level window: its owner is no parent
        window = ::GetParent(window);
    }
    return false;
}

} // namespace kelm
