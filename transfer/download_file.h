#pragma once
// The local file a download is written into. Seek and Write throw
// std::system_error when Windows refuses; the download job turns that into an
// aborted download.

#include "framework/handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelm {

class CDownloadFile {
public:
    CDownloadFile() = default;

    // Creates the file anew (or truncates it): write access only, no sharing,
    // random-access hint. False when Windows refuses; GetLastError tells why.
    bool Create(const std::wstring& path);
    bool IsOpen() const noexcept { return m_file.IsValid(); }
    void Close() noexcept { m_file.Reset(); }

    void Seek(std::uint64_t offsetFromStart);
    void Write(const void* data, std::size_t size);

private:
    UniqueFile m_file;
};

} // namespace kelm
