#include "transfer/partial_record.h"

#include "framework/handles.h"

#include <windows.h>

#include <string_view>
#include <vector>

namespace kelm {

namespace {

constexpr DWORD kLargestRecord = 64 * 1024;

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

std::wstring FromUtf8(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

std::optional<std::uint64_t> ParseCount(const std::wstring& text)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    return std::stoull(text);
}

} // namespace

std::optional<PartialRecord> ParsePartialRecord(std::string_view text)
{
    PartialRecord parsed;
    bool sawUrl = false;
    bool sawReceived = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, equals);
        const std::wstring value = FromUtf8(line.substr(equals + 1));
        if (name == "url") {
            parsed.url = value;
            sawUrl = true;
        } else if (name == "validator") {
            parsed.validator = value;
        } else if (name == "received") {
            const auto count = ParseCount(value);
            if (!count)
                return std::nullopt;
            parsed.received = *count;
            sawReceived = true;
        } else if (name == "size") {
            parsed.size = ParseCount(value);
        } else if (name == "sha256") {
            parsed.sha256 = value;
        }
    }
    if (!sawUrl || !sawReceived)
        return std::nullopt;
    return parsed;
}

std::optional<std::string> FormatPartialRecord(const PartialRecord& record)
{
    // Values are single lines: a line break in an address would end it early.
    for (const std::wstring* value : {&record.url, &record.validator, &record.sha256})
        if (value->find_first_of(L"\r\n") != std::wstring::npos)
            return std::nullopt;
    std::string text = "url=" + ToUtf8(record.url) + "\n";
    text += "validator=" + ToUtf8(record.validator) + "\n";
    text += "received=" + std::to_string(record.received) + "\n";
    if (record.size)
        text += "size=" + std::to_string(*record.size) + "\n";
    if (!record.sha256.empty())
        text += "sha256=" + ToUtf8(record.sha256) + "\n";
    if (text.size() >= kLargestRecord)
        return std::nullopt;
    return text;
}

bool ReadPartialRecord(const std::wstring& path, PartialRecord& record)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::vector<char> bytes(kLargestRecord);
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), kLargestRecord, &read, nullptr) || read == kLargestRecord)
        return false;
    std::optional<PartialRecord> parsed = ParsePartialRecord(std::string_view(bytes.data(), read));
    if (!parsed)
        return false;
    record = std::move(*parsed);
    return true;
}

bool WritePartialRecord(const std::wstring& path, const PartialRecord& record)
{
    const std::optional<std::string> text = FormatPartialRecord(record);
    if (!text)
        return false;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), text->data(), static_cast<DWORD>(text->size()), &written, nullptr) &&
           written == text->size();
}

} // namespace kelm
