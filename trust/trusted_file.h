#pragma once
// The one place that decides whether a file may be run or installed with the
// installer's administrator rights. Everything the installer starts or hands
// to the Windows Installer is a TrustedFile, and only the admission functions
// below make one: a prerequisite's or the product's package (AdmitPackage)
// and a newer installer client (AdmitNewerClient).
//
// What vouches for a file:
// - a publisher named by the manifest: the file's Authenticode signature is
//   valid and its signer's common name is that publisher;
// - the manifest's SHA-256, matched by the bytes written into this very file;
// - the server, when the file came over HTTPS (the server was authenticated);
// - the manifest itself, for a package lying beside it (a standalone run).
// A package over plain HTTP with neither a SHA-256 nor a publisher is vouched
// for by nothing: the manifest is refused before anything is fetched for it
// (WhyUnverifiable). A newer client must be signed by the signer of the
// running client.
//
// The file is held open from its check to its use: reading is shared, writing,
// renaming and deleting are denied, so what is used is what was checked.

#include <windows.h>

#include <string>

#include "framework/handles.h"

namespace kelm {

enum class PackageOrigin {
    PlainHttp,
    Https,
    BesideInstaller, // a standalone run's package, beside the manifest
};

// Https for an "https://" address (any case), PlainHttp otherwise.
PackageOrigin OriginOf(const std::wstring& url) noexcept;

struct PackageVouchers {
    PackageOrigin origin = PackageOrigin::PlainHttp;
    bool sha256Verified = false; // the manifest's SHA-256 matched the bytes of this very file
    std::wstring publisher;      // the manifest's <publisher>; empty when none
};

// Why a package from `url` could never be verified: plain HTTP with neither a
// SHA-256 nor a publisher. Empty when it can be.
std::wstring WhyUnverifiable(const std::wstring& url, const std::wstring& sha256, const std::wstring& publisher);

// Opens a file for reading with read-only sharing: while the handle is held
// nobody can write, rename or delete it.
UniqueFile OpenHeldForReading(const std::wstring& path);

struct Admission;

class TrustedFile {
public:
    TrustedFile() = default; // holds nothing; never runs
    TrustedFile(TrustedFile&&) noexcept = default;
    TrustedFile& operator=(TrustedFile&&) noexcept = default;

    explicit operator bool() const noexcept { return m_file.IsValid(); }
    const std::wstring& Path() const noexcept { return m_path; }
    HANDLE Handle() const noexcept { return m_file.Get(); }
    // Ends the hold, once the file has been used.
    void Release() noexcept { m_file.Reset(); }

private:
    TrustedFile(UniqueFile file, std::wstring path) noexcept : m_file(std::move(file)), m_path(std::move(path)) {}
    friend struct Admission;
    friend Admission AdmitPackage(UniqueFile held, std::wstring path, const PackageVouchers& vouchers);
    friend Admission AdmitNewerClient(UniqueFile held, std::wstring path);

    UniqueFile m_file;
    std::wstring m_path;
};

struct Admission {
    TrustedFile file;     // holds the file when it was admitted
    std::wstring refusal; // why not, for the log and the message

    bool Admitted() const noexcept { return static_cast<bool>(file); }
};

// A package held as OpenHeldForReading holds it, at `path`. Every admission and
// refusal has its line in the run's log.
Admission AdmitPackage(UniqueFile held, std::wstring path, const PackageVouchers& vouchers);

// A newer installer client, held the same way: admitted only when it is
// validly signed by the signer of the running client's own file. An unsigned
// running client (a development build) admits none.
Admission AdmitNewerClient(UniqueFile held, std::wstring path);

} // namespace kelm
