#pragma once
// Character references: "&#65;", "&#x41;" and the named references of HTML 4.01
// plus "&apos;".

#include <cstdint>
#include <string>

namespace kelm::xml_detail {

// Appends `length` units of `text` to `out`, decoding character references.
// A reference that cannot be decoded stays as written.
void AppendDecodedText(const wchar_t* text, std::size_t length, std::wstring& out);

// The code point of a named reference (the name as written, without '&' and
// ';'), or 0 when there is no such name.
uint32_t LookupNamedReference(std::wstring_view name);

}  // namespace kelm::xml_detail
