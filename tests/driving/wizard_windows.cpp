#include "driving/wizard_windows.h"

#include <functional>

#include "res/resource.h"

namespace kelm::test {

namespace {

// The first descendant of `parent`, in the system's order, that `match` accepts.
HWND FirstDescendant(HWND parent, const std::function<bool(HWND)>& match)
{
    struct Search {
        const std::function<bool(HWND)>& match;
        HWND found;
    } search{match, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            try {
                if (!s->match(child))
                    return TRUE;
            } catch (...) {
                return FALSE; // nothing unwinds through the system's walk: not found
            }
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND FindWizard(DWORD processId)
{
    return FindWindowOfClass(processId, L"BrenvikClassName-CHS");
}

HWND FindCheckDialog(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"#32770" && GetDlgItem(window, IDC_CHECK_PROGRESS) != nullptr)
            return window;
    }
    return nullptr;
}

std::string VisibleOrActiveWindow(DWORD processId)
{
    HWND foreground = GetForegroundWindow();
    for (HWND window : TopLevelWindows(processId)) {
        if (IsWindowVisible(window) || window == foreground)
            return (window == foreground ? "the foreground window: " : "a visible window: ") + DescribeWindow(window);
    }
    return {};
}

bool WaitResponsive(HWND window, int timeoutMs)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeoutMs), &ignored) != 0;
}

void SetWindowTextOf(HWND window, const std::wstring& text)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 20000,
                        &ignored);
}

HWND FindVisiblePanelWith(HWND wizard, int id)
{
    return FirstDescendant(wizard, [&](HWND child) {
        return GetParent(child) == wizard && IsWindowVisible(child) && GetDlgItem(child, id) != nullptr;
    });
}

HWND FindPanelItem(HWND wizard, int id)
{
    HWND panel = FindVisiblePanelWith(wizard, id);
    return panel != nullptr ? GetDlgItem(panel, id) : nullptr;
}

std::string DescribeWindow(HWND window)
{
    if (window == nullptr)
        return "no window";
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::wstring program = L"?";
    if (UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)); process) {
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(process.Get(), 0, path, &size))
            program = path;
    }
    HWND root = GetAncestor(window, GA_ROOT);
    RECT rect{};
    GetWindowRect(root, &rect);
    auto narrow = [](const std::wstring& text) {
        std::string result;
        for (wchar_t c : text)
            result += c < 128 ? static_cast<char>(c) : '?';
        return result;
    };
    return "window of class \"" + narrow(ClassName(window)) + "\" (top-level \"" + narrow(ClassName(root)) +
           "\" \"" + narrow(WindowText(root)) + "\" at " + std::to_string(rect.left) + "," +
           std::to_string(rect.top) + "-" + std::to_string(rect.right) + "," + std::to_string(rect.bottom) +
           ") of process " + std::to_string(processId) + " " + narrow(program);
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return thread != 0 && GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

HWND FindDescendant(HWND parent, const wchar_t* className, const wchar_t* text)
{
    return FirstDescendant(parent, [&](HWND child) {
        return ClassName(child) == className && (text == nullptr || WindowText(child) == text);
    });
}

HWND FindFolderBrowser(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"#32770" && IsWindowVisible(window) &&
            FindDescendant(window, L"SysTreeView32") != nullptr)
            return window;
    }
    return nullptr;
}

} // namespace kelm::test
