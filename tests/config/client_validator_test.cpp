// The client check's own steps, in process, against the loopback test server.

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>

#include "config/client_validator.h"
#include "config/installer_config.h"
#include "support/loopback_server.h"
#include "support/test_paths.h"
#include "transfer/sha256.h"

using namespace kelm;
using namespace kelm::test;

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

std::wstring UpdateBase()
{
    wchar_t data[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
    return std::wstring(data) + L"\\Kelmware\\Web Installer\\";
}

// Whether the access list of a folder lets anybody write in it but the
// system, the administrators and the account running the test (an
// administrator, as the installer runs). Wine keeps no access lists of its
// own: it shows one made from the folder's Unix mode, which says as much.
struct FolderAccess {
    bool read = false;
    bool othersMayWrite = false;
};

FolderAccess AccessOf(const std::wstring& folder)
{
    FolderAccess access;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return access;
    access.read = dacl != nullptr;
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(system);
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
    size = sizeof(administrators);
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
    HANDLE openedToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &openedToken);
    const UniqueHandle token(openedToken);
    BYTE userBuffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD userSize = 0;
    GetTokenInformation(token.Get(), TokenUser, userBuffer, sizeof(userBuffer), &userSize);
    const PSID self = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;
    constexpr ACCESS_MASK kWriting =
        FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_WRITE |
        GENERIC_ALL;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Mask & kWriting) == 0)
            continue;
        PSID sid = &ace->SidStart;
        if (!EqualSid(sid, system) && !EqualSid(sid, administrators) && !EqualSid(sid, self))
            access.othersMayWrite = true;
    }
    LocalFree(descriptor);
    return access;
}

// The product's work folder under program data, as the manifest load makes it.
void UseWorkFolder()
{
    theConfig.manifest.standalone = 0;
    theConfig.manifest.pid = L"ZP80-CLIENTCHECK";
    theConfig.manifest.full_name = L"Zunder Pro 8";
    ASSERT_TRUE(PrepareWorkFolders(theConfig).Passed());
}

std::string ReadSample(const wchar_t* name)
{
    return ReadWholeFile(BuildFolderPath(std::wstring(L"tests\\signed\\") + name));
}

std::wstring Sha256Text(const std::string& bytes)
{
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

TEST(ClientValidator, UpdatePathIsAFreshFolderOnlyAdministratorsCanWrite)
{
    UseWorkFolder();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = MakeClientUpdatePath();
    const std::wstring base = UpdateBase() + L"ZP80-CLIENTCHECK\\";
    ASSERT_EQ(base, theConfig.workFolder);
    ASSERT_EQ(path.rfind(base + L"KelmWebInstaller_", 0), 0u) << std::string(path.begin(), path.end());
    EXPECT_NE(path.rfind(temp, 0), 0u) << "not in the user's temporary folder";
    const size_t slash = path.rfind(L'\\');
    EXPECT_EQ(path.substr(slash + 1), L"Zunder Pro 8.exe");
    const std::wstring folder = path.substr(0, slash);
    EXPECT_TRUE(IsDirectory(folder));
    const std::wstring tick = folder.substr(base.size() + 17);
    EXPECT_FALSE(tick.empty());
    EXPECT_EQ(tick.find_first_not_of(L"-0123456789"), std::wstring::npos);
    for (const std::wstring& restricted : {folder, base.substr(0, base.size() - 1)}) {
        SCOPED_TRACE(std::string(restricted.begin(), restricted.end()));
        const FolderAccess access = AccessOf(restricted);
        ASSERT_TRUE(access.read);
        EXPECT_FALSE(access.othersMayWrite);
    }
    RemoveDirectoryW(folder.c_str());
    // Without a work folder (a standalone run) there is no place for a newer client.
    theConfig.workFolder.clear();
    EXPECT_EQ(MakeClientUpdatePath(), L"");
}

// This test program is signed by the vendor, as the installer is: a newer
// client is admitted only with the same signer, and with the descriptor's
// SHA-256 when it gives one.
TEST(ClientValidator, NewerClientIsAdmittedOnlyWhenItIsTheVendorsAndTheServerDeliversIt)
{
    const LoopbackServer& server = LoopbackServer::Get();
    ASSERT_TRUE(server.IsReady()) << server.Problem();
    server.Reset("/cv/");
    ASSERT_TRUE(server.PutFile("cv_vendor.exe", ReadSample(L"sample-vendor.exe")));
    ASSERT_TRUE(server.PutFile("cv_other.exe", ReadSample(L"sample-other.exe")));
    ASSERT_TRUE(server.PutFile("cv_unsigned.exe", ReadSample(L"sample-unsigned.exe")));
    ASSERT_TRUE(server.AddRoutes(R"([{"path": "/cv/vendor.exe", "file": "cv_vendor.exe"},
                                     {"path": "/cv/other.exe", "file": "cv_other.exe"},
                                     {"path": "/cv/unsigned.exe", "file": "cv_unsigned.exe"},
                                     {"path": "/cv/missing.exe", "status": 404, "body": "<html>not here</html>"}])"));
    UseWorkFolder();
    const std::string vendor = ReadSample(L"sample-vendor.exe");
    ASSERT_FALSE(vendor.empty());
    std::wstring vendorHash = Sha256Text(vendor);
    for (wchar_t& c : vendorHash)
        c = static_cast<wchar_t>(towupper(c));
    CClientValidator validator;
    const struct {
        const char* name;
        const char* path;
        std::wstring sha256;
        NewClientDownload outcome;
    } cases[] = {
        {"the vendor's, no hash given", "/cv/vendor.exe", L"", NewClientDownload::Admitted},
        {"the vendor's with its hash, in capitals", "/cv/vendor.exe", vendorHash, NewClientDownload::Admitted},
        {"the vendor's with another hash", "/cv/vendor.exe", std::wstring(64, L'0'), NewClientDownload::Refused},
        {"not a hash", "/cv/vendor.exe", L"abc", NewClientDownload::Refused},
        {"another publisher's", "/cv/other.exe", L"", NewClientDownload::Refused},
        {"not signed, with its right hash", "/cv/unsigned.exe",
         Sha256Text(ReadSample(L"sample-unsigned.exe")), NewClientDownload::Refused},
        {"an error page", "/cv/missing.exe", L"", NewClientDownload::NotFetched},
        {"no address", nullptr, L"", NewClientDownload::NotOffered},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        theConfig.manifest.freshRelease.web_installer_download_url = c.path ? server.Url(c.path) : L"";
        theConfig.manifest.freshRelease.web_installer_sha256 = c.sha256;
        Sleep(20); // another tick count, another folder
        EXPECT_EQ(validator.DownloadNewClient(), c.outcome);
        const bool admitted = c.outcome == NewClientDownload::Admitted;
        EXPECT_EQ(static_cast<bool>(validator.m_newClient), admitted);
        EXPECT_EQ(validator.m_strNewClientPath.empty(), !admitted);
        EXPECT_EQ(validator.m_strNewClientRefusal.empty(), c.outcome != NewClientDownload::Refused);
        if (admitted) {
            EXPECT_EQ(ReadWholeFile(validator.m_strNewClientPath), vendor);
            EXPECT_FALSE(DeleteFileW(validator.m_strNewClientPath.c_str())) << "held until it is started";
        }
    }
    theConfig.manifest.freshRelease.web_installer_sha256.clear();
}

// A newer client that fills the volume of the work folder is told as a full
// disk, naming the folder, not as a download that failed.
TEST(ClientValidator, ANewerClientThatFindsNoRoomIsAFullDisk)
{
    const std::wstring volume = UnixPathToWindows(KELM_SMALL_VOLUME);
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExW((volume + L"\\").c_str(), nullptr, &total, nullptr) ||
        total.QuadPart > 16ull * 1024 * 1024)
        GTEST_SKIP() << "no small volume: the machine refused the tmpfs mount (tests/engine/small-volume.sh)";
    const LoopbackServer& server = LoopbackServer::Get();
    ASSERT_TRUE(server.IsReady()) << server.Problem();
    server.Reset("/cv/");
    ASSERT_TRUE(server.AddRoutes(R"({"path": "/cv/large.exe", "body_size": 12582912})"));
    UseWorkFolder();
    theConfig.workFolder = volume + L"\\";
    theConfig.manifest.freshRelease.web_installer_download_url = server.Url("/cv/large.exe");
    CClientValidator validator;
    EXPECT_EQ(validator.DownloadNewClient(), NewClientDownload::NoRoom);
    EXPECT_EQ(validator.m_noRoom.folder.rfind(volume + L"\\KelmWebInstaller_", 0), 0u);
    EXPECT_TRUE(validator.m_strNewClientPath.empty());
    EXPECT_FALSE(static_cast<bool>(validator.m_newClient));
    theConfig.manifest.freshRelease.web_installer_download_url.clear();
}
