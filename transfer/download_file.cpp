#include "transfer/download_file.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

namespace kelm {

namespace {

// DELETE: a finished download is renamed through its handle. Others may read
// it while it is written; nobody else may write, rename or delete it.
constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
constexpr DWORD kSharing = FILE_SHARE_READ;
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
    m_file.Reset(::CreateFileW(path.c_str(), kAccess, kSharing, nullptr, CREATE_NEW, kAttributes, nullptr));
    if (!m_file.IsValid() && ::GetLastError() == ERROR_FILE_EXISTS)
        m_file.Reset(::CreateFileW(path.c_str(), kAccess, kSharing, nullptr, CREATE_ALWAYS, kAttributes, nullptr));
    return m_file.IsValid();
}

bool CDownloadFile::OpenExisting(const std::wstring& path)
{
    m_file.Reset(::CreateFileW(path.c_str(), kAccess, kSharing, nullptr, OPEN_EXISTING, kAttributes, nullptr));
    return m_file.IsValid();
}

bool CDownloadFile::RenameTo(const std::wstring& path)
{
    const std::size_t nameBytes = path.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, path.data(), nameBytes);
    return ::SetFileInformationByHandle(m_file.Get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) !=
           FALSE;
}

UniqueFile CDownloadFile::HoldForReading()
{
    // A reading handle of the same file, made from this one, not by name: the
    // first shares everything with the writing handle, which is then closed; the
    // second, from the first, shares reading only.
    UniqueFile bridge(::ReOpenFile(m_file.Get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   FILE_FLAG_SEQUENTIAL_SCAN));
    if (!bridge)
        return {};
    m_file.Reset();
    UniqueFile held(::ReOpenFile(bridge.Get(), GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN));
    if (held) {
        LARGE_INTEGER start{};
        ::SetFilePointerEx(held.Get(), start, nullptr, FILE_BEGIN);
    }
    return held;
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

std::optional<std::string> ReadHeldFile(HANDLE file, std::size_t maxBytes)
{
    LARGE_INTEGER size{};
    LARGE_INTEGER start{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes || !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!::ReadFile(file, bytes.data() + done, asked, &read, nullptr) || read == 0)
            return std::nullopt;
        done += read;
    }
    return bytes;
}

} // namespace kelm
