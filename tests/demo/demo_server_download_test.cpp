// The installer's own HTTP client against the demo's package server: the
// published release arrives byte for byte through the download job, the size
// query sees each package's Content-Length, and missing packages fail the way
// the installation expects. The server is started by demo_server_download.sh,
// which passes its address in KELM_DEMO_BASE_URL.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "transfer/download_job.h"
#include "transfer/http_client.h"

namespace {

using namespace kelm;

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (const char* c = text ? text : ""; *c; ++c)
        wide += static_cast<wchar_t>(*c);
    return wide;
}

std::wstring BaseUrl() { return Widen(std::getenv("KELM_DEMO_BASE_URL")); }

std::wstring WindowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* c = unixPath ? unixPath : ""; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

std::wstring SitePath(const std::wstring& relative)
{
    std::wstring path = WindowsPath(std::getenv("KELM_DEMO_SITE")) + L"\\" + relative;
    for (auto& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

std::string ReadAll(const std::wstring& path)
{
    kelm::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

class Events : public IDownloadJobOwner {
public:
    HANDLE GetCancelEvent() const override { return m_cancel.Get(); }
    HANDLE GetRunEvent() const override { return m_run.Get(); }

private:
    kelm::UniqueHandle m_cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    kelm::UniqueHandle m_run{CreateEventW(nullptr, TRUE, TRUE, nullptr)};
};

std::wstring TempFile(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

class DemoServerDownloads : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(OpenSession()); }
    void SetUp() override { ASSERT_FALSE(BaseUrl().empty()) << "KELM_DEMO_BASE_URL is not set"; }
};

TEST_F(DemoServerDownloads, PackagesArriveByteForByteWithTheirAnnouncedSize)
{
    const wchar_t* packages[] = {L"zunder/8/packages/ZunderPro8.msi", L"zunder/8/packages/update/ZunderPro8.msi",
                                 L"zunder/8/packages/zunder_runtime_setup.exe"};
    for (const wchar_t* package : packages) {
        const std::string expected = ReadAll(SitePath(package));
        ASSERT_FALSE(expected.empty()) << package;
        const std::wstring url = BaseUrl() + L"/" + package;
        EXPECT_EQ(QueryRemoteFileSize(url), static_cast<std::int64_t>(expected.size())) << package;

        const std::wstring local = TempFile(L"zunder-demo-download.bin");
        DeleteFileW(local.c_str());
        Events events;
        std::uint64_t lastReceived = 0;
        std::uint64_t lastTotal = 0;
        CDownloadJob job(url, local);
        EXPECT_EQ(job.Run(&events, [&](const DownloadStatusInfo& info) {
            lastReceived = std::max(lastReceived, info.received);
            lastTotal = info.total;
        }), 1) << package;
        EXPECT_EQ(lastTotal, expected.size()) << package;
        EXPECT_EQ(lastReceived, expected.size()) << package;
        EXPECT_TRUE(ReadAll(local) == expected) << package;
        DeleteFileW(local.c_str());
    }
}

TEST_F(DemoServerDownloads, TheDescriptorArrivesThroughTheStreamRequest)
{
    CancelRequest never;
    StringSink stream;
    ASSERT_TRUE(DownloadToStream(never, BaseUrl() + L"/zunder/8/version.xml", stream));
    EXPECT_EQ(stream.text, ReadAll(SitePath(L"zunder/8/version.xml")));
    EXPECT_NE(stream.text.find("<kelmwebinstaller>"), std::string::npos);
}

TEST_F(DemoServerDownloads, AMissingPackageFailsItsDownload)
{
    const std::wstring url = BaseUrl() + L"/zunder/8/packages/missing.msi";
    EXPECT_EQ(QueryRemoteFileSize(url), 0);
    Events events;
    CDownloadJob job(url, TempFile(L"zunder-demo-missing.bin"));
    EXPECT_EQ(job.Run(&events, [](const DownloadStatusInfo&) {}), 0);
}

} // namespace
