#include "trust/plain_name.h"

#include <array>

namespace kelm {

namespace {

wchar_t Upper(wchar_t c) noexcept
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameLetters(std::wstring_view a, std::wstring_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// The system opens a device for these stems whatever extension follows
// ("nul.txt" is NUL), and ignores blanks and dots before the extension.
bool IsDeviceName(std::wstring_view name) noexcept
{
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && (stem.back() == L' ' || stem.back() == L'.'))
        stem.remove_suffix(1);
    constexpr std::array<std::wstring_view, 6> kFixed = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (std::wstring_view fixed : kFixed)
        if (SameLetters(stem, fixed))
            return true;
    // COM1 to COM9 and LPT1 to LPT9, and with the superscript digits 1, 2, 3.
    const bool portNumber = stem.size() == 4 && ((stem[3] >= L'1' && stem[3] <= L'9') || stem[3] == L'\u00b9' ||
                                                 stem[3] == L'\u00b2' || stem[3] == L'\u00b3');
    return portNumber && (SameLetters(stem.substr(0, 3), L"COM") || SameLetters(stem.substr(0, 3), L"LPT"));
}

} // namespace

bool IsPlainFileName(std::wstring_view name) noexcept
{
    if (name.empty() || name.size() > 255)
        return false;
    for (wchar_t c : name) {
        if (c < 32)
            return false;
        switch (c) {
        case L'\\':
        case L'/':
        case L':':
        case L'*':
        case L'?':
        case L'"':
        case L'<':
        case L'>':
        case L'|':
            return false;
        default:
            break;
        }
    }
    if (name.find(L"..") != std::wstring_view::npos)
        return false;
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    return !IsDeviceName(name);
}

} // namespace kelm
