#pragma once
// Decimal text to number, the way the C runtime's _wtol reads it.

#include <cstdint>
#include <string_view>

namespace kelm {

// Skips leading white space, takes one optional sign and the digits that follow,
// and stops at the first other character. No digits give 0; values outside the
// 32-bit range are clamped to its limits.
int32_t ParseLeadingInt32(std::wstring_view text) noexcept;

} // namespace kelm
