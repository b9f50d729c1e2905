#pragma once
// The local file a download is written into. Seek, Write, Read and Truncate
// throw std::system_error when Windows refuses; the download job turns that
// into an aborted download.

#include "framework/handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelm {

class CDownloadFile {
public:
    CDownloadFile() = default;

    // Creates the file anew (or truncates it): read and write access, no
    // sharing, random-access hint. False when Windows refuses; GetLastError tells why.
    bool Create(const std::wstring& path);
    // Opens an existing file to go on with it, the same way. False when it is
    // missing or Windows refuses.
    bool OpenExisting(const std::wstring& path);
    bool IsOpen() const noexcept { return m_file.IsValid(); }
    void Close() noexcept { m_file.Reset(); }
    HANDLE Handle() const noexcept { return m_file.Get(); }

    void Seek(std::uint64_t offsetFromStart);
    void Write(const void* data, std::size_t size);
    // Up to size bytes from the current position; 0 at the end of the file.
    std::size_t Read(void* data, std::size_t size);
    // The file ends at size (and the position stays where it was).
    void Truncate(std::uint64_t size);
    std::uint64_t Size() const;

private:
    UniqueFile m_file;
};

} // namespace kelm
