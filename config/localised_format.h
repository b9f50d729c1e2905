#pragma once
// Localised texts used as formats. A translation comes from a file next to the
// program, so it is never handed to printf as is: only the conversions the
// built-in text has ("%s" for a name, "%d"-like ones for numbers, each with
// optional flags and width, and "%%") are filled in. A translation that asks
// for anything else, or for more arguments than the caller gives, is replaced
// by the built-in text.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace kelm {

// `format` with every "%s" replaced by `value`; the fallback when `format` has
// another conversion.
std::wstring FormatWithText(const std::wstring& format, const std::wstring& value, const std::wstring& fallback);

// `format` with its "%s" conversions filled from `values` in order; the
// fallback when `format` has another conversion or more conversions than values.
std::wstring FormatWithTexts(const std::wstring& format, std::initializer_list<std::wstring> values,
                             const std::wstring& fallback);

// `format` with its "%d", "%i" or "%u" conversions (flags "-0+ #", a width)
// filled from `values` in order; the fallback when `format` has another
// conversion or more conversions than values.
std::wstring FormatWithNumbers(const std::wstring& format, std::initializer_list<int64_t> values,
                               const std::wstring& fallback);

} // namespace kelm
