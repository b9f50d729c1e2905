// What may run with the installer's administrator rights: plain file names,
// Authenticode signatures read from held files, the one admission gate for
// packages and newer clients, and folders only administrators can write.
// The samples are real programs and packages signed by the build's test
// certificates; this test program is signed by the vendor, as the installer is.
#include <windows.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "framework/handles.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"
#include "trust/admin_folder.h"
#include "trust/authenticode.h"
#include "trust/plain_name.h"
#include "trust/trusted_file.h"

namespace kelm {
namespace {

std::wstring Sample(const wchar_t* name)
{
    return test::BuildFolderPath(std::wstring(L"tests\\signed\\") + name);
}

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    DWORD read = 0;
    while (file && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

// The vendor's program with one byte changed in the middle of its code.
std::wstring TamperedCopy(const test::TempFolder& folder)
{
    std::string bytes = ReadAll(Sample(L"sample-vendor.exe"));
    bytes[bytes.size() / 3] ^= 0x5a;
    const std::wstring path = folder.File(L"tampered.exe");
    test::WriteFileBytes(path, bytes);
    return path;
}

TEST(PlainNames, OnlyAPlainFileNameStaysInItsFolder)
{
    const struct {
        const wchar_t* name;
        bool plain;
    } cases[] = {
        {L"setup.exe", true},
        {L"Zunder Pro Video Editor 8", true},
        {L"ZUNDERPRO8-DEMO", true},
        {L"{580D94DB-01C3-4959-9172-4F6E1569690A}", true},
        {L"runtime.setup.1.2.exe", true},
        {L"", false},
        {L"..\\..\\x.exe", false},
        {L"../x.exe", false},
        {L"sub\\setup.exe", false},
        {L"C:setup.exe", false},
        {L"setup.exe:stream", false},
        {L".", false},
        {L"..", false},
        {L"a..exe", false},
        {L"CON", false},
        {L"con.txt", false},
        {L"NUL .msi", false},
        {L"Com1", false},
        {L"lpt9.exe", false},
        {L"COM\u00b2.msi", false},
        {L"conin$", false},
        {L"CONOUT$.txt", false},
        {L"COM0.exe", true},
        {L"console.exe", true},
        {L"setup.exe.", false},
        {L"setup.exe ", false},
        {L"set*up.exe", false},
        {L"set\tup.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPlainFileName(c.name), c.plain) << testing::PrintToString(std::wstring(c.name));
    EXPECT_TRUE(IsPlainFileName(std::wstring(255, L'a')));
    EXPECT_FALSE(IsPlainFileName(std::wstring(256, L'a')));
}

TEST(Authenticode, TheSignatureAndItsSignerAreReadFromTheHeldFile)
{
    const test::TempFolder folder(L"kelm-trust-signatures");
    const std::wstring tampered = TamperedCopy(folder);
    const struct {
        std::wstring path;
        SignatureState state;
        const wchar_t* signer;
    } cases[] = {
        {Sample(L"sample-vendor.exe"), SignatureState::Valid, KELM_VENDOR_PUBLISHER},
        {Sample(L"sample-other.exe"), SignatureState::Valid, KELM_OTHER_PUBLISHER},
        {Sample(L"sample-unsigned.exe"), SignatureState::Unsigned, L""},
        {tampered, SignatureState::Invalid, L""},
        {Sample(L"product-vendor.msi"), SignatureState::Valid, KELM_VENDOR_PUBLISHER},
        {Sample(L"product-other.msi"), SignatureState::Valid, KELM_OTHER_PUBLISHER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        const UniqueFile held = OpenHeldForReading(c.path);
        ASSERT_TRUE(held);
        const SignatureCheck check = CheckAuthenticode(held.Get(), c.path);
        EXPECT_EQ(check.state, c.state) << std::hex << check.status;
        EXPECT_EQ(check.signer, c.signer);
    }
    // The handle decides, not the name: the vendor's file held, another file named.
    const UniqueFile vendor = OpenHeldForReading(Sample(L"sample-vendor.exe"));
    EXPECT_EQ(CheckAuthenticode(vendor.Get(), Sample(L"sample-unsigned.exe")).state, SignatureState::Valid);
    const UniqueFile unsigned_ = OpenHeldForReading(Sample(L"sample-unsigned.exe"));
    EXPECT_EQ(CheckAuthenticode(unsigned_.Get(), Sample(L"sample-vendor.exe")).state, SignatureState::Unsigned);
}

TEST(Admission, APackageRunsOnlyWhenSomethingVouchesForIt)
{
    const test::TempFolder folder(L"kelm-trust-admission");
    const std::wstring tampered = TamperedCopy(folder);
    const std::wstring vendor = KELM_VENDOR_PUBLISHER;
    const struct {
        const char* name;
        std::wstring path;
        PackageVouchers vouchers;
        bool admitted;
    } cases[] = {
        {"the publisher's signature", Sample(L"sample-vendor.exe"), {PackageOrigin::PlainHttp, false, vendor}, true},
        {"the publisher's package", Sample(L"product-vendor.msi"), {PackageOrigin::PlainHttp, false, vendor}, true},
        {"another publisher", Sample(L"sample-other.exe"), {PackageOrigin::PlainHttp, true, vendor}, false},
        {"another publisher's package", Sample(L"product-other.msi"), {PackageOrigin::Https, true, vendor}, false},
        {"not signed", Sample(L"sample-unsigned.exe"), {PackageOrigin::BesideInstaller, true, vendor}, false},
        {"changed after signing", tampered, {PackageOrigin::PlainHttp, true, vendor}, false},
        {"its SHA-256", Sample(L"sample-unsigned.exe"), {PackageOrigin::PlainHttp, true, L""}, true},
        {"an HTTPS server", Sample(L"sample-unsigned.exe"), {PackageOrigin::Https, false, L""}, true},
        {"the manifest beside it", Sample(L"sample-unsigned.exe"), {PackageOrigin::BesideInstaller, false, L""},
         true},
        {"nothing", Sample(L"sample-other.exe"), {PackageOrigin::PlainHttp, false, L""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Admission admission = AdmitPackage(OpenHeldForReading(c.path), c.path, c.vouchers);
        EXPECT_EQ(admission.Admitted(), c.admitted) << testing::PrintToString(admission.refusal);
        EXPECT_EQ(admission.refusal.empty(), c.admitted);
        if (admission.Admitted()) {
            EXPECT_EQ(admission.file.Path(), c.path);
        }
    }
    EXPECT_FALSE(AdmitPackage(UniqueFile(), Sample(L"sample-vendor.exe"), {}).Admitted()) << "nothing held";
}

TEST(Admission, AnAdmittedFileCannotBeChangedWhileItIsHeld)
{
    const test::TempFolder folder(L"kelm-trust-held");
    const std::wstring path = folder.File(L"setup.exe");
    ASSERT_TRUE(CopyFileW(Sample(L"sample-vendor.exe").c_str(), path.c_str(), FALSE));
    {
        Admission admission = AdmitPackage(OpenHeldForReading(path), path,
                                           {PackageOrigin::PlainHttp, false, KELM_VENDOR_PUBLISHER});
        ASSERT_TRUE(admission.Admitted());
        EXPECT_FALSE(UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr)));
        EXPECT_FALSE(DeleteFileW(path.c_str()));
        EXPECT_FALSE(MoveFileW(path.c_str(), folder.File(L"other.exe").c_str()));
        EXPECT_TRUE(UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                           nullptr)))
            << "others may still read it (the Windows Installer does)";
        admission.file.Release();
        EXPECT_TRUE(DeleteFileW(path.c_str())) << "released";
    }
}

TEST(Admission, ANewerClientMustHaveTheRunningClientsSigner)
{
    ASSERT_EQ(OwnSignerName(), KELM_VENDOR_PUBLISHER) << "this test program is signed as the installer is";
    const test::TempFolder folder(L"kelm-trust-client");
    const struct {
        std::wstring path;
        bool admitted;
    } cases[] = {
        {Sample(L"sample-vendor.exe"), true},
        {Sample(L"sample-other.exe"), false},
        {Sample(L"sample-unsigned.exe"), false},
        {TamperedCopy(folder), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        const Admission admission = AdmitNewerClient(OpenHeldForReading(c.path), c.path);
        EXPECT_EQ(admission.Admitted(), c.admitted) << testing::PrintToString(admission.refusal);
    }
}

TEST(Admission, PlainHttpWithoutHashOrPublisherCannotBeVerified)
{
    const std::wstring sha256(64, L'a');
    const struct {
        const wchar_t* url;
        std::wstring sha256;
        const wchar_t* publisher;
        bool verifiable;
    } cases[] = {
        {L"http://example.test/setup.exe", L"", L"", false},
        {L"http://example.test/setup.exe", sha256, L"", true},
        {L"http://example.test/setup.exe", L"", L"Kelmware", true},
        {L"https://example.test/setup.exe", L"", L"", true},
        {L"HTTPS://example.test/setup.exe", L"", L"", true},
        {L"ftp://example.test/setup.exe", L"", L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WhyUnverifiable(c.url, c.sha256, c.publisher).empty(), c.verifiable) << testing::PrintToString(
            std::wstring(c.url));
}

TEST(AdminFolders, OwnersThatNeedAdministratorRights)
{
    const struct {
        const wchar_t* sid;
        bool administrative;
    } cases[] = {
        {L"S-1-5-18", true},                                                          // SYSTEM
        {L"S-1-5-32-544", true},                                                      // Administrators
        {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},    // TrustedInstaller
        {L"S-1-5-32-545", false},                                                     // Users
        {L"S-1-1-0", false},                                                          // Everyone
        {L"S-1-5-11", false},                                                         // Authenticated Users
        {L"S-1-5-21-0-0-0-1000", false},                                              // an account
        {L"S-1-5-80-1-2-3-4-5", false},                                               // another service
    };
    for (const auto& c : cases) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(c.sid, &sid));
        EXPECT_EQ(IsAdministrativeOwner(sid), c.administrative) << testing::PrintToString(std::wstring(c.sid));
        LocalFree(sid);
    }
    EXPECT_FALSE(IsAdministrativeOwner(nullptr));
}

// The access lists of the folders of a path: nobody but the system, the
// administrators and TrustedInstaller may replace what they hold, and nobody
// else may write the file at the end.
TEST(AdminFolders, AccessListsThatLetOthersChangeAPath)
{
    const struct {
        const char* name;
        const wchar_t* sddl;
        bool othersReplace;      // as a folder of the path
        bool othersWriteContent; // as the file at its end
    } cases[] = {
        {"the installer's own list", L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false, false},
        {"program data: users add files and folders",
         L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)", false,
         true},
        {"users may do everything", L"D:(A;;FA;;;SY)(A;;FA;;;BU)", true, true},
        {"only passed on to new children", L"D:(A;;FA;;;SY)(A;OICIIO;FA;;;BU)", false, false},
        {"users may delete what it holds", L"D:(A;;FA;;;SY)(A;;0x40;;;BU)", true, true},
        {"everybody may change the list", L"D:(A;;WD;;;WD)", true, true},
        {"TrustedInstaller", L"D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)", false,
         false},
        {"an empty list: nobody", L"D:P", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(AccessListLetsOthersChange(descriptor, false), c.othersReplace);
        EXPECT_EQ(AccessListLetsOthersChange(descriptor, true), c.othersWriteContent);
        LocalFree(descriptor);
    }
    // No list at all (a null one) lets everybody do everything.
    SECURITY_DESCRIPTOR open{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_TRUE(AccessListLetsOthersChange(&open, false));
}

TEST(AdminFolders, AreMadeCheckedAndRefusedWhenALinkIsOnTheirPath)
{
    const std::wstring base = ProgramDataFolder();
    ASSERT_FALSE(base.empty());
    test::RemoveFolderTree(base + L"\\KelmTrustTests\\made");
    const AdminFolderCheck made = PrepareAdminOnlyFolder(base, {L"KelmTrustTests", L"made", L"inner"}, 1);
    EXPECT_TRUE(made.Passed()) << testing::PrintToString(std::wstring(DescribeFolderVerdict(made.verdict)));
    EXPECT_EQ(made.folder, base + L"\\KelmTrustTests\\made\\inner");
    EXPECT_TRUE(PrepareAdminOnlyFolder(base, {L"KelmTrustTests", L"made", L"inner"}, 1).Passed()) << "again";

    // The fixture made "linked" a symbolic link to another folder.
    const AdminFolderCheck linked = PrepareAdminOnlyFolder(base, {L"KelmTrustTests", L"linked", L"inner"}, 1);
    EXPECT_EQ(linked.verdict, FolderVerdict::ReparsePoint);
    EXPECT_EQ(linked.folder, base + L"\\KelmTrustTests\\linked");
    EXPECT_EQ(GetFileAttributesW(L"C:\\KelmTrustTarget\\inner"), INVALID_FILE_ATTRIBUTES)
        << "nothing was made through the link";

    // A file where a folder must be.
    test::WriteFileBytes(base + L"\\KelmTrustTests\\made\\file", "x");
    EXPECT_FALSE(PrepareAdminOnlyFolder(base, {L"KelmTrustTests", L"made", L"file"}, 1).Passed());
    test::RemoveFolderTree(base + L"\\KelmTrustTests\\made");
}

} // namespace
} // namespace kelm
