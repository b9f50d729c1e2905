#include "transfer/http_headers.h"

#include <wininet.h>

#include <algorithm>

namespace kelm {

namespace {

// Decimal digits from `at` on, moving `at` past them; nothing when there are
// none or the number does not fit.
std::optional<std::uint64_t> ReadNumber(std::wstring_view text, std::size_t& at) noexcept
{
    const std::size_t start = at;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (value > (UINT64_MAX - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[at] - L'0');
    }
    if (at == start)
        return std::nullopt;
    return value;
}

std::uint64_t Ticks(const FILETIME& time) noexcept
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

std::optional<std::uint64_t> ParseContentLength(std::wstring_view text) noexcept
{
    std::size_t at = 0;
    const std::optional<std::uint64_t> value = ReadNumber(text, at);
    if (!value || at != text.size())
        return std::nullopt;
    return value;
}

std::optional<ContentRange> ParseContentRange(std::wstring_view text) noexcept
{
    constexpr std::wstring_view kUnit = L"bytes ";
    if (text.substr(0, kUnit.size()) != kUnit)
        return std::nullopt;
    std::size_t at = kUnit.size();
    ContentRange range;
    const auto first = ReadNumber(text, at);
    if (!first || at >= text.size() || text[at++] != L'-')
        return std::nullopt;
    const auto last = ReadNumber(text, at);
    if (!last || *last < *first || at >= text.size() || text[at++] != L'/')
        return std::nullopt;
    range.first = *first;
    if (text.substr(at) != L"*") {
        range.total = ReadNumber(text, at);
        if (!range.total || at != text.size() || *range.total <= *last)
            return std::nullopt;
    }
    return range;
}

std::wstring ChooseValidator(std::wstring_view etag, std::wstring_view lastModified)
{
    if (!etag.empty() && etag.substr(0, 2) != L"W/")
        return std::wstring(etag);
    return std::wstring(lastModified);
}

std::optional<DWORD> ParseRetryAfter(const std::wstring& text, const FILETIME& now) noexcept
{
    if (text.empty())
        return std::nullopt;
    if (text.find_first_not_of(L"0123456789") == std::wstring::npos && text.size() <= 9) {
        std::size_t at = 0;
        return static_cast<DWORD>(ReadNumber(text, at).value_or(0));
    }
    SYSTEMTIME when{};
    FILETIME whenFile{};
    if (!::InternetTimeToSystemTimeW(text.c_str(), &when, 0) || !::SystemTimeToFileTime(&when, &whenFile))
        return std::nullopt;
    if (Ticks(whenFile) <= Ticks(now))
        return 0;
    return static_cast<DWORD>(std::min<std::uint64_t>((Ticks(whenFile) - Ticks(now)) / 10000000, MAXDWORD));
}

} // namespace kelm
