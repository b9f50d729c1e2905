// The client check's own steps, in process, against the loopback test server.

#include <gtest/gtest.h>

#include <windows.h>

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

TEST(ClientValidator, UpdatePathIsAFreshFolderOfTheTemporaryFolder)
{
    theConfig.manifest.full_name = L"Zunder Pro 8";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = MakeClientUpdatePath();
    ASSERT_EQ(path.rfind(std::wstring(temp) + L"KelmWebInstaller_", 0), 0u) << std::string(path.begin(), path.end());
    const size_t slash = path.rfind(L'\\');
    EXPECT_EQ(path.substr(slash + 1), L"Zunder Pro 8.exe");
    EXPECT_TRUE(IsDirectory(path.substr(0, slash)));
    const std::wstring tick = path.substr(std::wstring(temp).size() + 17, slash - std::wstring(temp).size() - 17);
    EXPECT_FALSE(tick.empty());
    EXPECT_EQ(tick.find_first_not_of(L"-0123456789"), std::wstring::npos);
    RemoveDirectoryW(path.substr(0, slash).c_str());
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
