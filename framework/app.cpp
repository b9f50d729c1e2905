#include "framework/app.h"

namespace kelm {

namespace {

CWinApp* g_application = nullptr;

std::wstring ExecutableBaseName()
{
    wchar_t path[MAX_PATH + 1]{};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    if (size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

} // namespace

CWinApp::CWinApp() noexcept
{
    g_application = this;
    m_hInstance = ::GetModuleHandleW(nullptr);
    try {
        m_strAppName = ExecutableBaseName();
    } catch (...) {
        // No name: message boxes then show the system's default caption.
    }
}

CWinApp::~CWinApp()
{
    if (g_application == this)
        g_application = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

CWinApp* AfxGetApp() noexcept
{
    return g_application;
}

CWnd* AfxGetMainWnd() noexcept
{
    return g_application != nullptr ? g_application->m_pMainWnd : nullptr;
}

HWND AfxGetMainWindowHandle() noexcept
{
    CWnd* window = AfxGetMainWnd();
    return window != nullptr ? window->GetSafeHwnd() : nullptr;
}

HINSTANCE AfxGetResourceHandle() noexcept
{
    return ::GetModuleHandleW(nullptr);
}

int AfxWinMain(HINSTANCE instance) noexcept
{
    CWinApp* application = AfxGetApp();
    if (application == nullptr)
        return -1;
    application->m_hInstance = instance;
    try {
        application->InitInstance();
    } catch (...) {
        ::OutputDebugStringW(L"Kelm: InitInstance threw\r\n");
    }
    try {
        return application->ExitInstance();
    } catch (...) {
        ::OutputDebugStringW(L"Kelm: ExitInstance threw\r\n");
        return -1;
    }
}

} // namespace kelm
