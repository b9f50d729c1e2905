// The demo product: a window that shows the product's name, version, folder and
// language. While it runs it holds the instance semaphore that the installer's
// running-application check looks for, as the real product's programs do.

#include <windows.h>

#include <string>

#include "framework/handles.h"
#include "zunder_version.h"

namespace {

constexpr wchar_t kInstanceSemaphore[] = L"MirelleZunderInstance_80";
constexpr wchar_t kWindowClass[] = L"ZunderDemoEditorWindow";
constexpr wchar_t kProductName[] = L"Zunder Pro Video Editor 8";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Kelmware\\Zunder Pro\\080";

struct EditorState {
    std::wstring folder;
    std::wstring language;
};

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

// The installer records the user-interface language of the installation here.
std::wstring InstalledLanguage()
{
    kelm::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return L"not recorded";
    DWORD language = 0;
    DWORD size = sizeof(language);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"ApplicationLanguage", nullptr, &type,
                         reinterpret_cast<BYTE*>(&language), &size) != ERROR_SUCCESS
        || type != REG_DWORD)
        return L"not recorded";
    return std::to_wstring(language);
}

void DrawLine(HDC dc, const std::wstring& text, HFONT font, COLORREF color, RECT area)
{
    kelm::SelectedObject selected(dc, font);
    SetTextColor(dc, color);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void Paint(HWND window, const EditorState& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    kelm::UniqueBrush background(CreateSolidBrush(RGB(24, 25, 30)));
    FillRect(dc, &client, background.Get());
    SetBkMode(dc, TRANSPARENT);

    kelm::UniqueFont title(CreateFontW(-34, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                       CLEARTYPE_QUALITY, 0, L"Tahoma"));
    kelm::UniqueFont body(CreateFontW(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                      CLEARTYPE_QUALITY, 0, L"Tahoma"));
    const int width = client.right;
    DrawLine(dc, kProductName, title.Get(), RGB(255, 255, 255), {0, 90, width, 140});
    DrawLine(dc, L"Version " ZUNDER_VERSION_WIDE, body.Get(), RGB(7, 165, 216), {0, 150, width, 175});
    DrawLine(dc, L"Installed in " + state.folder, body.Get(), RGB(185, 186, 187), {10, 185, width - 10, 210});
    DrawLine(dc, L"Language " + state.language, body.Get(), RGB(185, 186, 187), {0, 215, width, 240});
    EndPaint(window, &paint);
}

LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<EditorState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        if (state) {
            Paint(window, *state);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // Initial count 0, maximum 1: the semaphore is only a name that exists while we run.
    kelm::UniqueHandle instanceGuard(CreateSemaphoreW(nullptr, 0, 1, kInstanceSemaphore));
    if (instanceGuard && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = FindWindowW(kWindowClass, nullptr)) {
            if (IsIconic(running))
                ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
        }
        return 0;
    }

    EditorState state{ProgramFolder(), InstalledLanguage()};

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = EditorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return 1;

    HWND window = CreateWindowExW(0, kWindowClass, kProductName, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 640, 360,
                                  nullptr, nullptr, instance, &state);
    if (!window)
        return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
