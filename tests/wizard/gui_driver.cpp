#include "gui_driver.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "res/resource.h"

namespace kelm::test {

::testing::AssertionResult ClickWithMouse(HWND window)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return ::testing::AssertionFailure() << "no window to click";
    const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    if (HWND found = WindowFromPoint(centre); found != window)
        return ::testing::AssertionFailure() << "the point " << centre.x << "," << centre.y << " to click lies in "
                                             << DescribeWindow(found) << ", not in " << DescribeWindow(window);
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
    if (SendInput(4, inputs, sizeof(INPUT)) != 4)
        return ::testing::AssertionFailure() << "SendInput failed (" << GetLastError() << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PressKey(WORD virtualKey)
{
    INPUT inputs[2] = {};
    for (int i = 0; i < 2; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = virtualKey;
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = i == 1 ? KEYEVENTF_KEYUP : 0;
    }
    if (SendInput(2, inputs, sizeof(INPUT)) != 2)
        return ::testing::AssertionFailure() << "SendInput failed (" << GetLastError() << ")";
    return ::testing::AssertionSuccess();
}

ScreenReaderView ReadAsScreenReader(HWND window)
{
    ScreenReaderView view;
    ComInitialization com;
    Microsoft::WRL::ComPtr<IAccessible> object;
    // __uuidof: the oleacc import library's IID_IAccessible is a code thunk.
    HRESULT result = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(result) || !object) {
        view.error = "AccessibleObjectFromWindow: " + std::to_string(static_cast<unsigned long>(result));
        return view;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    auto takeString = [](BSTR text) {
        std::wstring taken = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
        SysFreeString(text);
        return taken;
    };
    BSTR name = nullptr;
    if (FAILED(result = object->get_accName(self, &name)))
        view.error += "accName failed; ";
    view.name = takeString(name);
    VARIANT role{};
    if (FAILED(result = object->get_accRole(self, &role)) || role.vt != VT_I4)
        view.error += "accRole failed; ";
    else
        view.role = role.lVal;
    VariantClear(&role);
    VARIANT state{};
    if (FAILED(result = object->get_accState(self, &state)) || state.vt != VT_I4)
        view.error += "accState failed; ";
    else
        view.state = state.lVal;
    VariantClear(&state);
    BSTR value = nullptr;
    if (object->get_accValue(self, &value) == S_OK)
        view.value = takeString(value);
    else
        SysFreeString(value);
    return view;
}

WindowPicture CaptureWindow(HWND window)
{
    WindowPicture picture;
    RECT rect{};
    if (!GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top)
        return picture;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    UniqueMemoryDc memory(CreateCompatibleDC(screen));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (bitmap && memory) {
        SelectedObject selected(memory.Get(), bitmap.Get());
        ok = BitBlt(memory.Get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    }
    ReleaseDC(nullptr, screen);
    if (!ok)
        return picture;
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    picture.width = width;
    picture.height = height;
    picture.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int i = 0; i < width * height; ++i) {
        const std::uint32_t bgr = pixels[i];
        picture.pixels.push_back(RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF));
    }
    return picture;
}

int WindowPicture::Count(const RECT& area, const std::function<bool(COLORREF)>& match) const
{
    int found = 0;
    for (LONG y = std::max(0L, area.top); y < std::min<LONG>(height, area.bottom); ++y) {
        for (LONG x = std::max(0L, area.left); x < std::min<LONG>(width, area.right); ++x) {
            if (match(At(x, y)))
                ++found;
        }
    }
    return found;
}

bool SaveWindowPicture(HWND window, const std::wstring& path)
{
    const WindowPicture picture = CaptureWindow(window);
    if (picture.pixels.empty())
        return false;
    // 24-bit rows, bottom-up, as BMP files store them.
    const DWORD stride = static_cast<DWORD>((picture.width * 3 + 3) & ~3);
    std::string image(static_cast<std::size_t>(stride) * static_cast<std::size_t>(picture.height), '\0');
    for (int y = 0; y < picture.height; ++y) {
        char* row = image.data() + static_cast<std::size_t>(picture.height - 1 - y) * stride;
        for (int x = 0; x < picture.width; ++x) {
            const COLORREF colour = picture.At(x, y);
            row[3 * x] = static_cast<char>(GetBValue(colour));
            row[3 * x + 1] = static_cast<char>(GetGValue(colour));
            row[3 * x + 2] = static_cast<char>(GetRValue(colour));
        }
    }
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = picture.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(image.size());
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), &header, sizeof header, &written, nullptr) &&
           WriteFile(file.Get(), &info, sizeof info, &written, nullptr) &&
           WriteFile(file.Get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
}

} // namespace kelm::test
