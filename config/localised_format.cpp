#include "config/localised_format.h"

#include <optional>
#include <string_view>
#include <vector>

namespace kelm {
namespace {

struct Conversion {
    std::wstring flags;
    int width = 0;
    wchar_t type = 0;
    size_t end = 0; // index after the conversion character
};

// Parses the conversion starting at format[start] == '%'.
std::optional<Conversion> ParseConversion(const std::wstring& format, size_t start)
{
    Conversion conversion;
    size_t i = start + 1;
    while (i < format.size() && std::wstring_view(L"-0+ #").find(format[i]) != std::wstring_view::npos)
        conversion.flags += format[i++];
    while (i < format.size() && format[i] >= L'0' && format[i] <= L'9' && conversion.width < 1000)
        conversion.width = conversion.width * 10 + (format[i++] - L'0');
    if (i >= format.size())
        return std::nullopt;
    conversion.type = format[i];
    conversion.end = i + 1;
    return conversion;
}

std::wstring Pad(std::wstring text, const Conversion& conversion, bool numeric)
{
    if (static_cast<int>(text.size()) >= conversion.width)
        return text;
    const size_t fill = static_cast<size_t>(conversion.width) - text.size();
    if (conversion.flags.find(L'-') != std::wstring::npos)
        return text + std::wstring(fill, L' ');
    if (numeric && conversion.flags.find(L'0') != std::wstring::npos) {
        const size_t signLength = (!text.empty() && (text[0] == L'-' || text[0] == L'+' || text[0] == L' ')) ? 1 : 0;
        return text.substr(0, signLength) + std::wstring(fill, L'0') + text.substr(signLength);
    }
    return std::wstring(fill, L' ') + text;
}

std::wstring NumberText(int64_t value, const Conversion& conversion)
{
    std::wstring digits = std::to_wstring(value < 0 ? -static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    if (value < 0)
        digits.insert(0, 1, L'-');
    else if (conversion.flags.find(L'+') != std::wstring::npos)
        digits.insert(0, 1, L'+');
    else if (conversion.flags.find(L' ') != std::wstring::npos)
        digits.insert(0, 1, L' ');
    return Pad(std::move(digits), conversion, true);
}

// Walks `format`; `fill` gets each conversion and returns its text, or nothing to reject it.
template <typename Fill>
std::optional<std::wstring> Expand(const std::wstring& format, Fill fill)
{
    std::wstring result;
    for (size_t i = 0; i < format.size();) {
        if (format[i] != L'%') {
            result += format[i++];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == L'%') {
            result += L'%';
            i += 2;
            continue;
        }
        const std::optional<Conversion> conversion = ParseConversion(format, i);
        if (!conversion)
            return std::nullopt;
        std::optional<std::wstring> text = fill(*conversion);
        if (!text)
            return std::nullopt;
        result += *text;
        i = conversion->end;
    }
    return result;
}

} // namespace

std::wstring FormatWithText(const std::wstring& format, const std::wstring& value, const std::wstring& fallback)
{
    auto expanded = Expand(format, [&](const Conversion& c) -> std::optional<std::wstring> {
        if (c.type != L's')
            return std::nullopt;
        return Pad(value, c, false);
    });
    if (expanded)
        return *expanded;
    auto fallbackExpanded = Expand(fallback, [&](const Conversion& c) -> std::optional<std::wstring> {
        return c.type == L's' ? std::optional<std::wstring>(Pad(value, c, false)) : std::nullopt;
    });
    return fallbackExpanded ? *fallbackExpanded : fallback;
}

std::wstring FormatWithTexts(const std::wstring& format, std::initializer_list<std::wstring> values,
                             const std::wstring& fallback)
{
    const std::vector<std::wstring> texts(values);
    auto run = [&](const std::wstring& text) {
        size_t next = 0;
        return Expand(text, [&](const Conversion& c) -> std::optional<std::wstring> {
            if (c.type != L's' || next >= texts.size())
                return std::nullopt;
            return Pad(texts[next++], c, false);
        });
    };
    if (auto expanded = run(format))
        return *expanded;
    if (auto expanded = run(fallback))
        return *expanded;
    return fallback;
}

std::wstring FormatWithNumbers(const std::wstring& format, std::initializer_list<int64_t> values,
                               const std::wstring& fallback)
{
    const std::vector<int64_t> numbers(values);
    auto run = [&](const std::wstring& text) {
        size_t next = 0;
        return Expand(text, [&](const Conversion& c) -> std::optional<std::wstring> {
            if ((c.type != L'd' && c.type != L'i' && c.type != L'u') || next >= numbers.size())
                return std::nullopt;
            return NumberText(numbers[next++], c);
        });
    };
    if (auto expanded = run(format))
        return *expanded;
    if (auto expanded = run(fallback))
        return *expanded;
    return fallback;
}

} // namespace kelm
