// The client check's own steps, in process, against the loopback test server.

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>

#include "config/client_validator.h"
#include "config/installer_config.h"
#include "support/loopback_server.h"

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

TEST(ClientValidator, UpdatePathIsAFreshFolderOnlyAdministratorsCanWrite)
{
    theConfig.manifest.full_name = L"Zunder Pro 8";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = MakeClientUpdatePath();
    const std::wstring base = UpdateBase();
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
}

TEST(ClientValidator, NewerClientIsKeptOnlyWhenTheServerDeliversIt)
{
    const LoopbackServer& server = LoopbackServer::Get();
    ASSERT_TRUE(server.IsReady()) << server.Problem();
    server.Reset("/cv/");
    ASSERT_TRUE(server.AddRoutes(R"([{"path": "/cv/client.exe", "body": "MZ new client"},
                                     {"path": "/cv/missing.exe", "status": 404, "body": "<html>not here</html>"}])"));
    theConfig.manifest.full_name = L"Zunder Pro 8";
    CClientValidator validator;

    theConfig.manifest.freshRelease.web_installer_download_url = server.Url("/cv/client.exe");
    EXPECT_NE(validator.DownloadNewClient(), 0);
    ASSERT_FALSE(validator.m_strNewClientPath.empty());
    EXPECT_EQ(ReadWholeFile(validator.m_strNewClientPath), "MZ new client");

    // An error page is no program to start at exit.
    Sleep(20); // another tick count, another folder
    theConfig.manifest.freshRelease.web_installer_download_url = server.Url("/cv/missing.exe");
    EXPECT_EQ(validator.DownloadNewClient(), 0);
    EXPECT_TRUE(validator.m_strNewClientPath.empty());

    theConfig.manifest.freshRelease.web_installer_download_url.clear();
    EXPECT_EQ(validator.DownloadNewClient(), 0);
}

TEST(ClientValidator, NewerClientIsKeptOnlyWithTheHashTheServerGives)
{
    const LoopbackServer& server = LoopbackServer::Get();
    ASSERT_TRUE(server.IsReady()) << server.Problem();
    server.Reset("/cv/hash/");
    ASSERT_TRUE(server.AddRoutes(R"([{"path": "/cv/hash/client.exe", "body": "MZ new client"}])"));
    theConfig.manifest.full_name = L"Zunder Pro 8";
    theConfig.manifest.freshRelease.web_installer_download_url = server.Url("/cv/hash/client.exe");
    CClientValidator validator;
    struct Case {
        const char* name;
        std::wstring sha256;
        bool kept;
    };
    const Case cases[] = {
        {"no hash given", L"", true},
        // SHA-256 of "MZ new client", in capitals.
        {"its hash", L"EE7357072B3E70B788390F8D98D686A06E0779ADBE9E8A34B556EA40A4200C18", true},
        {"another hash", std::wstring(64, L'0'), false},
        {"not a hash", L"abc", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        theConfig.manifest.freshRelease.web_installer_sha256 = c.sha256;
        Sleep(20); // another tick count, another folder
        EXPECT_EQ(validator.DownloadNewClient() != 0, c.kept);
        EXPECT_EQ(validator.m_strNewClientPath.empty(), !c.kept);
    }
    theConfig.manifest.freshRelease.web_installer_sha256.clear();
}
