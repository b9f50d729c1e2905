#include "transfer/download_file.h"

#include <algorithm>
#include <system_error>

namespace kelm {

namespace {

constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kAttributes = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS;

[[noreturn]] void ThrowLastError(const char* what)
{
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

} // namespace

bool CDownloadFile::Create(const std::wstring& path)
{
    // A file made anew rather than truncated: on some file systems (ext4 under
    // Wine) closing a truncated-and-rewritten file waits for its blocks to be
    // allocated, a tenth of a second per 256 MiB. Where the old file cannot be
    // deleted, truncating it is what is left.
    ::DeleteFileW(path.c_str());
    m_file.Reset(::CreateFileW(path.c_str(), kAccess, 0, nullptr, CREATE_NEW, kAttributes, nullptr));
    if (!m_file.IsValid() && ::GetLastError() == ERROR_FILE_EXISTS)
        m_file.Reset(::CreateFileW(path.c_str(), kAccess, 0, nullptr, CREATE_ALWAYS, kAttributes, nullptr));
    return m_file.IsValid();
}

bool CDownloadFile::OpenExisting(const std::wstring& path)
{
    m_file.Reset(::CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kAttributes, nullptr));
    return m_file.IsValid();
}

void CDownloadFile::Seek(std::uint64_t offsetFromStart)
{
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(offsetFromStart);
    if (!::SetFilePointerEx(m_file.Get(), offset, nullptr, FILE_BEGIN))
        ThrowLastError("SetFilePointerEx");
}

void CDownloadFile::Write(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
        DWORD written = 0;
        if (!::WriteFile(m_file.Get(), bytes, chunk, &written, nullptr))
            ThrowLastError("WriteFile");
        if (written == 0)
            throw std::system_error(ERROR_WRITE_FAULT, std::system_category(), "WriteFile");
        bytes += written;
        size -= written;
    }
}

std::size_t CDownloadFile::Read(void* data, std::size_t size)
{
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    if (!::ReadFile(m_file.Get(), data, chunk, &read, nullptr))
        ThrowLastError("ReadFile");
    return read;
}

void CDownloadFile::Truncate(std::uint64_t size)
{
    LARGE_INTEGER here{};
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(m_file.Get(), zero, &here, FILE_CURRENT))
        ThrowLastError("SetFilePointerEx");
    Seek(size);
    if (!::SetEndOfFile(m_file.Get()))
        ThrowLastError("SetEndOfFile");
    Seek(static_cast<std::uint64_t>(here.QuadPart));
}

std::uint64_t CDownloadFile::Size() const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_file.Get(), &size))
        ThrowLastError("GetFileSizeEx");
    return static_cast<std::uint64_t>(size.QuadPart);
}

} // namespace kelm
