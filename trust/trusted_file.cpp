#include "trust/trusted_file.h"

#include <algorithm>

#include "runlog/run_log.h"
#include "trust/authenticode.h"

namespace kelm {

namespace {

Admission Refuse(const std::wstring& path, std::wstring why)
{
    Log(L"refused: ", path, L" is not run or installed: ", why);
    return Admission{TrustedFile(), std::move(why)};
}

} // namespace

PackageOrigin OriginOf(const std::wstring& url) noexcept
{
    return ::CompareStringOrdinal(url.c_str(), static_cast<int>(std::min<size_t>(url.size(), 8)), L"https://", 8,
                                  TRUE) == CSTR_EQUAL
               ? PackageOrigin::Https
               : PackageOrigin::PlainHttp;
}

std::wstring WhyUnverifiable(const std::wstring& url, const std::wstring& sha256, const std::wstring& publisher)
{
    if (OriginOf(url) == PackageOrigin::Https || !sha256.empty() || !publisher.empty())
        return {};
    return L"its address " + url + L" is plain HTTP and the manifest gives neither its SHA-256 nor its publisher";
}

UniqueFile OpenHeldForReading(const std::wstring& path)
{
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

Admission AdmitPackage(UniqueFile held, std::wstring path, const PackageVouchers& vouchers)
{
    if (!held)
        return Refuse(path, L"it could not be held open");
    if (!vouchers.publisher.empty()) {
        const SignatureCheck signature = CheckAuthenticode(held.Get(), path);
        if (signature.state != SignatureState::Valid || signature.signer != vouchers.publisher)
            return Refuse(path, L"it is " + DescribeSignature(signature) + L", and the manifest's publisher is \"" +
                                    vouchers.publisher + L"\"");
        Log(L"verified: ", path, L", ", DescribeSignature(signature));
    } else if (vouchers.sha256Verified) {
        // The download's own line names the SHA-256.
    } else if (vouchers.origin == PackageOrigin::Https) {
        Log(L"not verified: ", path, L" came over HTTPS and the manifest gives neither its SHA-256 nor its publisher");
    } else if (vouchers.origin == PackageOrigin::BesideInstaller) {
        Log(L"not verified: ", path, L" lies beside the manifest, which gives neither its SHA-256 nor its publisher");
    } else {
        return Refuse(path, L"it came over plain HTTP and the manifest gives neither its SHA-256 nor its publisher");
    }
    return Admission{TrustedFile(std::move(held), std::move(path)), {}};
}

Admission AdmitNewerClient(UniqueFile held, std::wstring path)
{
    if (!held)
        return Refuse(path, L"it could not be held open");
    const std::wstring& own = OwnSignerName();
    if (own.empty())
        return Refuse(path, L"this installer is not signed, so nothing can show that the newer client comes from "
                            L"the same publisher");
    const SignatureCheck signature = CheckAuthenticode(held.Get(), path);
    if (signature.state != SignatureState::Valid || signature.signer != own)
        return Refuse(path, L"it is " + DescribeSignature(signature) + L", and this installer is signed by \"" + own +
                                L"\"");
    Log(L"verified: the newer client ", path, L", ", DescribeSignature(signature));
    return Admission{TrustedFile(std::move(held), std::move(path)), {}};
}

} // namespace kelm
