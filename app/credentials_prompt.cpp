#include "app/credentials_prompt.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>

#include "transfer/http_client.h"

namespace kelm {

namespace {

constexpr wchar_t kPromptWindowClass[] = L"KelmCredentialsPrompt";
constexpr UINT kAskForCredentials = WM_APP + 0x43;

std::atomic<HWND> g_promptWindow{nullptr};

LRESULT CALLBACK PromptWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message != kAskForCredentials)
        return ::DefWindowProcW(window, message, wParam, lParam);
    // Owned by the window the user sees on this thread: the client check's dialog or the wizard.
    HWND owner = ::GetActiveWindow();
    void* request = reinterpret_cast<void*>(lParam);
    return static_cast<LRESULT>(::InternetErrorDlg(owner, request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                                   FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                                       FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                                       FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                                   nullptr));
}

DWORD AskOnUserInterfaceThread(HINTERNET request) noexcept
{
    const HWND window = g_promptWindow;
    if (!window)
        return ERROR_NOT_SUPPORTED;
    DWORD_PTR answer = ERROR_NOT_SUPPORTED;
    if (!::SendMessageTimeoutW(window, kAskForCredentials, 0, reinterpret_cast<LPARAM>(request), SMTO_NORMAL, INFINITE,
                               &answer))
        return ERROR_NOT_SUPPORTED;
    return static_cast<DWORD>(answer);
}

} // namespace

bool InstallCredentialsPrompt() noexcept
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PromptWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kPromptWindowClass;
    ::RegisterClassW(&windowClass);
    const HWND window = ::CreateWindowExW(0, kPromptWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          windowClass.hInstance, nullptr);
    if (!window)
        return false;
    g_promptWindow = window;
    SetCredentialsPrompt(AskOnUserInterfaceThread);
    return true;
}

} // namespace kelm
