#pragma once
// The reply headers the HTTP client reads, parsed from their text: pure
// functions, so that every form a server or a proxy may send can be tested
// without a server.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelm {

// A Content-Length as a full 64-bit count: digits only, nothing else; nothing
// when it is empty, not a plain number or too large.
std::optional<std::uint64_t> ParseContentLength(std::wstring_view text) noexcept;

// "bytes <first>-<last>/<total or *>" of a 206 reply.
struct ContentRange {
    std::uint64_t first = 0;
    std::optional<std::uint64_t> total; // absent for "*"
};
// Nothing when the text is not such a range (another unit, last before first,
// a total not beyond last, anything after it).
std::optional<ContentRange> ParseContentRange(std::wstring_view text) noexcept;

// What a later request can name with If-Range to get the rest of a body: the
// ETag when it is a strong one (a weak one, "W/...", may not be used for a
// range), else the Last-Modified; empty when neither is there.
std::wstring ChooseValidator(std::wstring_view etag, std::wstring_view lastModified);

// Retry-After as seconds from `now`: a number of seconds (up to nine digits),
// or an HTTP date (0 when it has passed); nothing when it is neither.
std::optional<DWORD> ParseRetryAfter(const std::wstring& text, const FILETIME& now) noexcept;

} // namespace kelm
