#include "driving/process_windows.h"

#include <tlhelp32.h>

#include <cwchar>

namespace kelm::test {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(pollMs);
    }
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
{
    Terminate();
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return false;
    const UniqueHandle thread(info.hThread);
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
    return true;
}

bool ChildProcess::IsRunning() const
{
    return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD* code) const
{
    if (!m_process || ::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (code != nullptr)
        ::GetExitCodeProcess(m_process.Get(), code);
    return true;
}

void ChildProcess::Terminate()
{
    if (IsRunning()) {
        ::TerminateProcess(m_process.Get(), 99);
        ::WaitForSingleObject(m_process.Get(), 5000);
    }
}

std::vector<DWORD> ProcessesOfProgram(const std::wstring& fileName)
{
    std::vector<DWORD> ids;
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        const wchar_t* name = std::wcsrchr(entry.szExeFile, L'\\');
        name = name != nullptr ? name + 1 : entry.szExeFile;
        if (::_wcsicmp(name, fileName.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != s->processId)
                return TRUE;
            try {
                s->found.push_back(window);
            } catch (...) {
                return FALSE; // out of memory: the windows found so far
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

bool IsShown(HWND window)
{
    RECT rect{};
    return window != nullptr && ::IsWindowVisible(window) && ::GetWindowRect(window, &rect) &&
           rect.right > rect.left && rect.bottom > rect.top;
}

HWND FindWindowOfClass(DWORD processId, const std::wstring& className)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == className)
            return window;
    }
    return nullptr;
}

HWND FindMessageBox(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassName(window) == L"#32770" && ::GetDlgItem(window, 0xFFFF) != nullptr && ::IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 20000,
                               &copied))
        return {};
    return std::wstring(text, static_cast<size_t>(copied));
}

std::wstring MessageBoxText(HWND box)
{
    HWND text = ::GetDlgItem(box, 0xFFFF);
    return text != nullptr ? WindowText(text) : std::wstring();
}

void ClickItem(HWND dialog, int id)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void AnswerMessageBox(HWND box, int buttonId)
{
    ClickItem(box, buttonId);
}

} // namespace kelm::test
