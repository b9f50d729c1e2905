// The real installer started beside an unusable manifest: it names the file and
// the fault in a message box and ends, with no wizard and no request to the
// server named in the manifest.

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "config_test_support.h"
#include "driving/process_windows.h"
#include "support/test_paths.h"

namespace kelm {
namespace {

using test::TempFolder;

// A loopback listener standing for the download server: counts connections.
class LoopbackListener {
public:
    LoopbackListener()
    {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        int length = sizeof(address);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        ::listen(m_socket, 4);
        u_long nonBlocking = 1;
        ::ioctlsocket(m_socket, FIONBIO, &nonBlocking);
    }
    ~LoopbackListener()
    {
        ::closesocket(m_socket);
        ::WSACleanup();
    }
    int Port() const { return m_port; }
    bool WasContacted()
    {
        const SOCKET client = ::accept(m_socket, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return false;
        ::closesocket(client);
        return true;
    }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_port = 0;
};

// A manifest whose main package has a SHA-256 unless `unverified`.
std::string Manifest(int port, bool withPid, bool standalone = false, bool unverified = false)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kelmwebinstaller>\n"
           "  <web_installer_version>2.0.0.5</web_installer_version>\n  <product>\n" +
           std::string(withPid ? "    <pid>ZP80</pid>\n" : "") +
           "    <full_name>Zunder Pro 8</full_name>\n    <short_name>Zunder</short_name>\n"
           "    <registry>SOFTWARE\\KelmTests\\Startup\\080</registry>\n"
           "    <standalone>" + std::string(standalone ? "true" : "false") + "</standalone>\n"
           "    <version_check_url>http://127.0.0.1:" + std::to_string(port) + "/version.xml</version_check_url>\n"
           "    <main_component>\n      <name>p.msi</name>\n"
           "      <full_url>http://127.0.0.1:" + std::to_string(port) + "/p.msi</full_url>\n" +
           (unverified ? std::string() : "      <full_sha256>" + std::string(64, 'a') + "</full_sha256>\n") +
           "    </main_component>\n  </product>\n</kelmwebinstaller>\n";
}

TEST(StartupWithBadManifest, ShowsTheFaultAndEnds)
{
    LoopbackListener server;
    const struct {
        const char* description;
        std::optional<std::string> manifest; // absent: no manifest file
        bool fileNamedMsi;                   // blocks the msi work folder
        const wchar_t* caption;
        std::wstring cause;                  // after the manifest path
    } cases[] = {
        {"missing", std::nullopt, false, L"Error", L" is missing or cannot be read."},
        {"not well-formed", "<kelmwebinstaller><product></kelmwebinstaller>", false, L"Error",
         L" is not a well-formed XML document."},
        {"pid missing", Manifest(server.Port(), false), false, L"Zunder",
         L" lacks the required element kelmwebinstaller/product/pid."},
        {"work folder", Manifest(server.Port(), true, true), true, L"Zunder", L" it needs the work folder "},
        {"a package nothing vouches for", Manifest(server.Port(), true, false, true), false, L"Zunder",
         L", kelmwebinstaller/product/main_component/full_url cannot be used: the package p.msi: its address http://"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const TempFolder folder(L"kelm-config-startup");
        const std::wstring exe = folder.File(L"ZunderWebSetup.exe");
        ASSERT_TRUE(::CopyFileW(test::BuiltInstallerPath().c_str(), exe.c_str(), FALSE));
        if (c.manifest)
            test::WriteBytes(folder.File(L"config\\manifest.xml"), *c.manifest);
        if (c.fileNamedMsi)
            test::WriteBytes(folder.File(L"msi"), "not a folder");

        test::ChildProcess installer;
        ASSERT_TRUE(installer.Start(exe, L"", folder.Folder()));
        HWND box = nullptr;
        ASSERT_TRUE(test::WaitUntil([&] { return (box = test::FindMessageBox(installer.Id())) != nullptr; }, 15000));
        EXPECT_EQ(c.caption, test::WindowText(box));
        const std::wstring message = test::MessageBoxText(box);
        const std::wstring manifestPath = folder.File(L"config\\manifest.xml");
        EXPECT_NE(std::wstring::npos, message.find(manifestPath + c.cause)) << std::string(message.begin(), message.end());
        if (c.fileNamedMsi) {
            EXPECT_NE(std::wstring::npos, message.find(folder.File(L"msi\\")));
        }
        EXPECT_EQ(nullptr, test::FindWindowOfClass(installer.Id(), L"BrenvikClassName-CHS"));

        test::AnswerMessageBox(box, IDOK);
        EXPECT_TRUE(installer.WaitForExit(15000));
        EXPECT_FALSE(server.WasContacted());
    }
}

} // namespace
} // namespace kelm
