// Reading a document from a file: the Windows part of the reader.
#include "xml/xml_document.h"

#include "framework/handles.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

namespace kelm {
namespace {

constexpr DWORD kDetectionBytes = 1024;
// Offsets into the text are signed 32-bit numbers.
constexpr LONGLONG kMaxFileSize = 0x7FFFFFF0;

// The system's message for an error, cut before its first line break; empty
// when the message does not fit in 100 characters or does not exist.
std::wstring SystemMessage(DWORD error)
{
    wchar_t buffer[100] = {};
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                          0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring message(buffer, std::min<DWORD>(length, static_cast<DWORD>(std::size(buffer))));
    const std::size_t lineBreak = message.find_first_of(L"\r\n");
    if (lineBreak != std::wstring::npos)
        message.resize(lineBreak);
    return message;
}

void ReportFileError(CXmlDocument& document, DWORD error)
{
    const std::wstring message = SystemMessage(error);
    document.AddReportEntry(L"file_error", {{L"msg", message}, {L"n", std::to_wstring(error)}});
}

bool ReadExactly(HANDLE file, unsigned char* buffer, DWORD size, DWORD& read)
{
    read = 0;
    return ::ReadFile(file, buffer, size, &read, nullptr) != FALSE;
}

}  // namespace

bool CXmlDocument::LoadFile(const wchar_t* path)
{
    Clear();
    UniqueFile file(::CreateFileW(path ? path : L"", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        ReportFileError(*this, ::GetLastError());
        return false;
    }

    LARGE_INTEGER fileSize{};
    if (!::GetFileSizeEx(file.Get(), &fileSize)) {
        ReportFileError(*this, ::GetLastError());
        return false;
    }
    if (fileSize.QuadPart > kMaxFileSize) {
        ReportFileError(*this, ERROR_FILE_TOO_LARGE);
        return false;
    }
    const DWORD size = static_cast<DWORD>(fileSize.QuadPart);
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[std::max<DWORD>(size, 1)]);

    // The first bytes tell the encoding; the rest is read in one piece.
    DWORD headSize = 0;
    if (size > 0 && !ReadExactly(file.Get(), bytes.get(), std::min(size, kDetectionBytes), headSize)) {
        ReportFileError(*this, ::GetLastError());
        return false;
    }
    const EncodingGuess guess = DetectEncoding(bytes.get(), headSize);
    LARGE_INTEGER behindMark{};
    behindMark.QuadPart = static_cast<LONGLONG>(guess.markLength);
    if (!::SetFilePointerEx(file.Get(), behindMark, nullptr, FILE_BEGIN)) {
        ReportFileError(*this, ::GetLastError());
        return false;
    }
    if (guess.markLength > 0)
        AddReportEntry(L"bom");

    DWORD restSize = 0;
    if (size > guess.markLength &&
        !ReadExactly(file.Get(), bytes.get(), size - static_cast<DWORD>(guess.markLength), restSize)) {
        ReportFileError(*this, ::GetLastError());
        return false;
    }
    DecodeIntoText(bytes.get(), restSize, guess);
    bytes.reset();

    if (!::CloseHandle(file.Release()))
        ReportFileError(*this, ::GetLastError());
    return Parse();
}

}  // namespace kelm
