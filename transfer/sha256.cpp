#include "transfer/sha256.h"

#include <algorithm>
#include <array>
#include <memory>

namespace kelm {

Sha256::Sha256() noexcept
{
    if (BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(m_algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        Reset();
}

void Sha256::Reset() noexcept
{
    m_failed = false;
    m_hash.Reset();
    if (!m_algorithm || !BCRYPT_SUCCESS(::BCryptCreateHash(m_algorithm.Get(), m_hash.Put(), nullptr, 0, nullptr, 0, 0)))
        m_failed = true;
}

void Sha256::Update(const void* data, std::size_t size) noexcept
{
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (IsValid() && size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 0x40000000));
        if (!BCRYPT_SUCCESS(::BCryptHashData(m_hash.Get(), bytes, piece, 0)))
            m_failed = true;
        bytes += piece;
        size -= piece;
    }
}

std::wstring Sha256::Finish() noexcept
{
    std::array<UCHAR, 32> digest{};
    const bool done = IsValid() && BCRYPT_SUCCESS(::BCryptFinishHash(m_hash.Get(), digest.data(), 32, 0));
    Reset();
    if (!done)
        return {};
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    try {
        text.reserve(64);
        for (UCHAR byte : digest) {
            text += kDigits[byte >> 4];
            text += kDigits[byte & 15];
        }
    } catch (...) {
        return {};
    }
    return text;
}

bool IsSha256Text(std::wstring_view text) noexcept
{
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
           });
}

bool SameSha256(std::wstring_view a, std::wstring_view b) noexcept
{
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    return a.size() == b.size() && !a.empty() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

bool HashFileStart(HANDLE file, std::uint64_t size, Sha256& hash)
{
    constexpr std::size_t kReadSize = 1024 * 1024;
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return false;
    auto buffer = std::make_unique<unsigned char[]>(kReadSize);
    while (size > 0) {
        DWORD read = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::uint64_t>(size, kReadSize));
        if (!::ReadFile(file, buffer.get(), asked, &read, nullptr) || read == 0)
            return false;
        hash.Update(buffer.get(), read);
        size -= read;
    }
    return true;
}

std::wstring Sha256OfOpenFile(HANDLE file)
{
    LARGE_INTEGER size{};
    Sha256 hash;
    if (!::GetFileSizeEx(file, &size) || !HashFileStart(file, static_cast<std::uint64_t>(size.QuadPart), hash))
        return {};
    return hash.Finish();
}

} // namespace kelm
