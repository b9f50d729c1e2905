#include "transfer/download_file.h"

#include <algorithm>
#include <system_error>

namespace kelm {

namespace {

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
    constexpr DWORD kAttributes = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS;
    ::DeleteFileW(path.c_str());
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, kAttributes, nullptr));
    if (!m_file.IsValid() && ::GetLastError() == ERROR_FILE_EXISTS)
        m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, kAttributes, nullptr));
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

} // namespace kelm
