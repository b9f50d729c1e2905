// The process: its entry point, the application object and the Unicode main function.
#include <windows.h>

#include <cstdlib>
#include <commctrl.h>

#include "app/brenvik_app.h"

namespace kelm {
CBrenvikApp theApp;
} // namespace kelm

namespace {

// DLLs are looked for in the system folder only: never beside the program (a
// Downloads folder) or in the current folder, where anybody may have put a DLL
// of a system DLL's name. The system's known DLLs are imported at load time; all
// others are delay-loaded, so none is looked for before this has run.
void RestrictDllSearchToSystemFolder() noexcept
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDirectories = kernel ? reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(
                                             ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                       : nullptr;
    if (!setDirectories || !setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ::SetDllDirectoryW(L""); // a system without it (Windows 7 before its loader update): no current folder at least
}

} // namespace

extern "C" int WinMainCRTStartup();

// What std::terminate does: end the process at once. The C++ runtime's own
// handler prints the exception's demangled type to a console this GUI program
// does not have, and links the whole demangler (some 45 KiB of the download)
// for it; this definition takes its place in the static link.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

// The executable's entry point (linked with -e): runs before the C runtime
// starts and before any static object, some of which load DLLs.
extern "C" int KelmEntryPoint()
{
    RestrictDllSearchToSystemFolder();
    return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Progress bars (the client-update dialog) and the other common controls of version 6.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    return kelm::AfxWinMain(instance);
}
