#pragma once
// The record kept beside a partial download, so that a later run can go on
// with it: which address it came from, what named the reply (If-Range), how
// many bytes it had, and what the whole file must be. A small UTF-8 text of
// "name=value" lines.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelm {

struct PartialRecord {
    std::wstring url;
    std::wstring validator;
    std::uint64_t received = 0;
    std::optional<std::uint64_t> size;
    std::wstring sha256;
};

// The record's text and back: pure, so that every form can be tested without
// files. Parsing needs "url" and a numeric "received"; unknown lines are
// skipped. Formatting refuses values with line breaks and records of 64 KiB
// or more.
std::optional<PartialRecord> ParsePartialRecord(std::string_view text);
std::optional<std::string> FormatPartialRecord(const PartialRecord& record);

// False when the file is missing or is not such a record.
bool ReadPartialRecord(const std::wstring& path, PartialRecord& record);
// Replaces the file; false when Windows refuses.
bool WritePartialRecord(const std::wstring& path, const PartialRecord& record);

} // namespace kelm
