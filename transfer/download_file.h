#pragma once
// The local file a download is written into. Seek, Write, Read and Truncate
// throw std::system_error when Windows refuses; the download job turns that
// into an aborted download.

#include "framework/handles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kelm {

class CDownloadFile {
public:
    CDownloadFile() = default;

    // Creates the file anew (or truncates it): read, write and delete access,
    // shared for reading only, random-access hint. False when Windows refuses; GetLastError tells why.
    bool Create(const std::wstring& path);
    // Opens an existing file to go on with it, the same way. False when it is
    // missing or Windows refuses.
    bool OpenExisting(const std::wstring& path);
    bool IsOpen() const noexcept { return m_file.IsValid(); }
    void Close() noexcept { m_file.Reset(); }
    HANDLE Handle() const noexcept { return m_file.Get(); }

    // Gives the open file another name (an existing file of that name is
    // replaced) through its handle. False when Windows refuses.
    bool RenameTo(const std::wstring& path);
    // Ends the writing and gives the same file open for reading, shared for
    // reading only (nobody can write, rename or delete it while it is held),
    // without opening it by name again; invalid when Windows refuses (the file
    // is closed then as well).
    UniqueFile HoldForReading();

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

// The whole content of a held file from its start, at most maxBytes; nothing
// when it cannot be read or is larger.
std::optional<std::string> ReadHeldFile(HANDLE file, std::size_t maxBytes);

} // namespace kelm
