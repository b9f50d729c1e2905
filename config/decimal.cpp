#include "config/decimal.h"

#include <limits>

namespace kelm {

namespace {

bool IsCrtSpace(wchar_t c) noexcept
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

} // namespace

int32_t ParseLeadingInt32(std::wstring_view text) noexcept
{
    size_t pos = 0;
    while (pos < text.size() && IsCrtSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }
    // Magnitude kept in 64 bits and stopped just past the 32-bit range, so long
    // digit runs cannot overflow it.
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (text[pos] - L'0');
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace kelm
