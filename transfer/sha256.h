#pragma once
// SHA-256 by the system's cryptography (CNG), fed piece by piece as the bytes
// of a download arrive, so a file is never read a second time to be checked.

#include "framework/handles.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelm {

struct BcryptAlgorithmTraits {
    static BCRYPT_ALG_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(BCRYPT_ALG_HANDLE handle) noexcept { ::BCryptCloseAlgorithmProvider(handle, 0); }
};
using UniqueBcryptAlgorithm = UniqueHandleT<BcryptAlgorithmTraits>;

struct BcryptHashTraits {
    static BCRYPT_HASH_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(BCRYPT_HASH_HANDLE handle) noexcept { ::BCryptDestroyHash(handle); }
};
using UniqueBcryptHash = UniqueHandleT<BcryptHashTraits>;

class Sha256 {
public:
    // Ready for the first bytes; IsValid() is false when the system has no SHA-256.
    Sha256() noexcept;
    bool IsValid() const noexcept { return m_hash.IsValid() && !m_failed; }

    // Starts again with no bytes.
    void Reset() noexcept;
    void Update(const void* data, std::size_t size) noexcept;
    // The digest of every byte since the last Reset, as 64 lowercase hexadecimal
    // digits; empty when the system failed. The hash starts again afterwards.
    std::wstring Finish() noexcept;

private:
    UniqueBcryptAlgorithm m_algorithm;
    UniqueBcryptHash m_hash;
    bool m_failed = false;
};

// Feeds the first `size` bytes of an open file, read from its start, to hash;
// false when they cannot be read.
bool HashFileStart(HANDLE file, std::uint64_t size, Sha256& hash);
// The SHA-256 of a whole open file, read from its start; empty when it cannot be read.
std::wstring Sha256OfOpenFile(HANDLE file);

// True when text is 64 hexadecimal digits (either case): the form a manifest gives.
bool IsSha256Text(std::wstring_view text) noexcept;
// Whether two digests in hexadecimal are the same, whatever the case of their letters.
bool SameSha256(std::wstring_view a, std::wstring_view b) noexcept;

} // namespace kelm
