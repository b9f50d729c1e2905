#include "config/shell_launch.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <wrl/client.h>

namespace kelm {

namespace {

using Microsoft::WRL::ComPtr;

// VARIANT that clears itself.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&m_value); }
    explicit Variant(LONG number) noexcept : Variant()
    {
        m_value.vt = VT_I4;
        m_value.lVal = number;
    }
    explicit Variant(const wchar_t* text) noexcept : Variant()
    {
        m_value.bstrVal = ::SysAllocString(text);
        if (m_value.bstrVal)
            m_value.vt = VT_BSTR;
    }
    ~Variant() { ::VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* Get() noexcept { return &m_value; }

private:
    VARIANT m_value;
};

class Bstr {
public:
    explicit Bstr(const std::wstring& text) noexcept
        : m_value(::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(m_value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const noexcept { return m_value; }

private:
    BSTR m_value;
};

// The shell view of the desktop window, owned by the desktop's shell process.
ComPtr<IShellView> GetDesktopShellView()
{
    ComPtr<IShellWindows> shellWindows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&shellWindows))))
        return nullptr;
    Variant desktopLocation(static_cast<LONG>(CSIDL_DESKTOP));
    Variant noRoot;
    LONG window = 0;
    ComPtr<IDispatch> desktop;
    if (shellWindows->FindWindowSW(desktopLocation.Get(), noRoot.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                   &desktop) != S_OK ||
        !desktop)
        return nullptr;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    if (FAILED(desktop.As(&services)) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))))
        return nullptr;
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(&view)) || !view)
        return nullptr;
    ComPtr<IShellView> shellView;
    if (FAILED(view.As(&shellView)))
        return nullptr;
    return shellView;
}

} // namespace

bool LaunchUnelevated(const std::wstring& path)
{
    ComPtr<IShellView> view = GetDesktopShellView();
    if (!view)
        return false;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) || !background ||
        FAILED(background.As(&folderView)))
        return false;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(folderView->get_Application(&application)) || !application || FAILED(application.As(&shell)))
        return false;
    // The path goes as one BSTR: spaces in it need no quoting.
    Bstr file(path);
    Variant noArguments(L"");
    Variant noFolder(L"");
    Variant defaultVerb(L"");
    Variant showNormal(static_cast<LONG>(SW_SHOWNORMAL));
    return SUCCEEDED(
        shell->ShellExecute(file.Get(), *noArguments.Get(), *noFolder.Get(), *defaultVerb.Get(), *showNormal.Get()));
}

} // namespace kelm
