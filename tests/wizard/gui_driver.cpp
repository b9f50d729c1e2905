#include "gui_driver.h"

#include <cstdint>

namespace kelm::test {

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
{
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
    return true;
}

bool ChildProcess::IsRunning() const
{
    return m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(int timeoutMs, DWORD* code) const
{
    if (!m_process || WaitForSingleObject(m_process.Get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return false;
    if (code != nullptr)
        GetExitCodeProcess(m_process.Get(), code);
    return true;
}

void ChildProcess::Terminate()
{
    if (IsRunning()) {
        TerminateProcess(m_process.Get(), 99);
        WaitForSingleObject(m_process.Get(), 5000);
    }
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId)
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

HWND FindWizard(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"BrenvikClassName-CHS")
            return window;
    }
    return nullptr;
}

HWND FindMessageBox(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

HWND FindCheckDialog(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"#32770" && GetDlgItem(window, 171) != nullptr)
            return window;
    }
    return nullptr;
}

bool AnyWindowShows(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        RECT rect{};
        GetWindowRect(window, &rect);
        if (IsWindowVisible(window) && rect.right > rect.left && rect.bottom > rect.top)
            return true;
    }
    return false;
}

bool WaitResponsive(HWND window, int timeoutMs)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeoutMs), &ignored) != 0;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 20000,
                             &copied))
        return {};
    return std::wstring(text, static_cast<size_t>(copied));
}

std::wstring MessageBoxText(HWND box)
{
    HWND text = GetDlgItem(box, 0xFFFF);
    return text != nullptr ? WindowText(text) : std::wstring();
}

void SetWindowTextOf(HWND window, const std::wstring& text)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 20000,
                        &ignored);
}

void ClickItem(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void AnswerMessageBox(HWND box, int buttonId)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
}

HWND FindVisiblePanelWith(HWND wizard, int id)
{
    struct Search {
        HWND wizard;
        int id;
        HWND found;
    } search{wizard, id, nullptr};
    EnumChildWindows(
        wizard,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetParent(child) == s->wizard && IsWindowVisible(child) && GetDlgItem(child, s->id) != nullptr) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindPanelItem(HWND wizard, int id)
{
    HWND panel = FindVisiblePanelWith(wizard, id);
    return panel != nullptr ? GetDlgItem(panel, id) : nullptr;
}

bool ClickWithMouse(HWND window)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    if (WindowFromPoint(centre) != window)
        return false;
    // Two clicks within the double-click time would make the second one a double click.
    static ULONGLONG lastClick = 0;
    const ULONGLONG apart = GetDoubleClickTime() + 100;
    if (lastClick != 0 && GetTickCount64() - lastClick < apart)
        Sleep(static_cast<DWORD>(apart - (GetTickCount64() - lastClick)));
    lastClick = GetTickCount64();
    // Absolute mouse coordinates run from 0 to 65535 over the primary screen.
    const LONG x = MulDiv(centre.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    const LONG y = MulDiv(centre.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    const DWORD flags[4] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_MOVE};
    INPUT inputs[4] = {};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = i < 3 ? x : 65535;
        inputs[i].mi.dy = i < 3 ? y : 65535;
        inputs[i].mi.dwFlags = flags[i] | MOUSEEVENTF_ABSOLUTE;
    }
    return SendInput(4, inputs, sizeof(INPUT)) == 4;
}

HWND FindDescendant(HWND parent, const wchar_t* className, const wchar_t* text)
{
    struct Search {
        const wchar_t* className;
        const wchar_t* text;
        HWND found;
    } search{className, text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (ClassName(child) == s->className && (s->text == nullptr || WindowText(child) == s->text)) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
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

bool SaveWindowPicture(HWND window, const std::wstring& path)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    UniqueMemoryDc memory(CreateCompatibleDC(screen));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (bitmap && memory) {
        SelectedObject selected(memory.Get(), bitmap.Get());
        ok = BitBlt(memory.Get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    }
    ReleaseDC(nullptr, screen);
    if (!ok)
        return false;
    GdiFlush();
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), &header, sizeof header, &written, nullptr) &&
           WriteFile(file.Get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
           WriteFile(file.Get(), bits, imageSize, &written, nullptr);
}

} // namespace kelm::test
