// The download job against the loopback test server: the reports the engine
// sees, the file it leaves, and what it does on cancel, failure and exceptions.

#include "transfer_test_support.h"

#include <stdexcept>
#include <thread>

namespace kelm::test {
namespace {

struct Report {
    int32_t status;
    uint64_t received;
    uint64_t total;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& report)
{
    return out << "(" << report.status << ", " << report.received << ", " << report.total << ")";
}

// What the engine's function object receives, recorded.
struct ReportLog {
    std::vector<DownloadStatusInfo> records;
    std::function<void(const DownloadStatusInfo&)> hook;

    DownloadProgressCallback Receiver()
    {
        return [this](const DownloadStatusInfo& info) {
            records.push_back(info);
            if (hook)
                hook(info);
        };
    }
    std::vector<Report> Reports() const
    {
        std::vector<Report> reports;
        for (const auto& info : records)
            reports.push_back({info.status, info.received, info.total});
        return reports;
    }
};

class DownloadJobTest : public TransferTest {
protected:
    std::string Route(const std::string& path, const std::string& fields)
    {
        return "{\"path\": \"" + path + "\", " + fields + "}";
    }
};

TEST_F(DownloadJobTest, SuccessfulJobReportsInTheAgreedSequence)
{
    const uint64_t size = 100003;
    ASSERT_TRUE(Server().AddRoutes(Route("/job/ok", "\"body_size\": 100003, \"seed\": 7")));
    const TempFolder folder(L"kelm-transfer-job");
    const std::wstring path = folder.File(L"package.msi");
    ::DeleteFileW(path.c_str());
    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/ok"), path);
    EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
    EXPECT_TRUE(ReadWholeFile(path) == PatternBytes(size, 7));

    const auto reports = log.Reports();
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ((Report{Downloading, 0, 0}), reports.front());
    EXPECT_EQ((Report{Downloading, size, size}), reports[reports.size() - 3]);
    EXPECT_EQ((Report{Finished, size, size}), reports[reports.size() - 2]);
    EXPECT_EQ((Report{Downloading, 0, size}), reports.back());
    // Between them: progress reports, each with more bytes than the one before.
    uint64_t previous = 0;
    for (size_t i = 1; i + 2 < reports.size(); ++i) {
        EXPECT_EQ(Downloading, reports[i].status);
        EXPECT_EQ(size, reports[i].total);
        EXPECT_GT(reports[i].received, previous);
        previous = reports[i].received;
    }
    EXPECT_EQ(0u, log.records[reports.size() - 2].errorCode);
}

TEST_F(DownloadJobTest, ProgressOfASlowTransferComesAtMostEveryTenthOfASecond)
{
    const uint64_t size = 300000;
    ASSERT_TRUE(Server().AddRoutes(Route(
        "/job/slow", "\"body_size\": 300000, \"seed\": 3, \"piece_size\": 3000, \"piece_delay_ms\": 10")));
    const TempFolder folder(L"kelm-transfer-job-slow");
    const std::wstring path = folder.File(L"package.msi");
    TestJobOwner owner;
    std::vector<ULONGLONG> progressTicks;
    CDownloadJob job(Server().Url("/job/slow"), path);
    EXPECT_EQ(1, job.Run(&owner, [&](const DownloadStatusInfo& info) {
        if (info.status == Downloading && info.received > 0 && info.received < size)
            progressTicks.push_back(::GetTickCount64());
    }));
    EXPECT_TRUE(ReadWholeFile(path) == PatternBytes(size, 3));
    // About a second of transfer: several reports, never two within 100 ms.
    ASSERT_GE(progressTicks.size(), 3u);
    for (size_t i = 1; i < progressTicks.size(); ++i)
        EXPECT_GE(progressTicks[i] - progressTicks[i - 1], kProgressInterval);
}

TEST_F(DownloadJobTest, FetchesAServedFileOverHttps)
{
    std::string bytes(300007, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    ASSERT_TRUE(Server().PutFile("job/served/setup.exe", bytes));
    const TempFolder folder(L"kelm-transfer-job");
    const std::wstring path = folder.File(L"setup.exe");
    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/served/setup.exe", "https"), path);
    EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
    EXPECT_TRUE(ReadWholeFile(path) == bytes);
    EXPECT_EQ((Report{Downloading, 0, bytes.size()}), log.Reports().back());
}

TEST_F(DownloadJobTest, FailuresBeforeTheTransferReportAsAgreed)
{
    ASSERT_TRUE(Server().AddRoutes(JsonList({Route("/job/missing", "\"status\": 404, \"body\": \"gone\""),
                                             Route("/job/chunked", "\"body_size\": 5000, \"chunked\": true"),
                                             Route("/job/present", "\"body_size\": 5000")})));
    const TempFolder folder(L"kelm-transfer-job-fail");
    struct Case {
        const char* name;
        std::string urlPath;
        std::wstring localPath;
        std::vector<Report> expected;
    };
    const Case cases[] = {
        {"size unknown: 404", "/job/missing", folder.File(L"missing.bin"), {{Downloading, 0, 0}, {Downloading, 0, 0}}},
        {"size unknown: no Content-Length", "/job/chunked", folder.File(L"chunked.bin"),
         {{Downloading, 0, 0}, {Downloading, 0, 0}}},
        {"file cannot be created", "/job/present", folder.File(L"no such folder\\present.bin"),
         {{Downloading, 0, 0}, {Downloading, 0, 5000}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ::DeleteFileW(test.localPath.c_str());
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url(test.urlPath), test.localPath);
        EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
        EXPECT_EQ(test.expected, log.Reports());
        EXPECT_FALSE(FileExists(test.localPath));
    }
}

TEST_F(DownloadJobTest, BrokenTransferFailsTheJob)
{
    ASSERT_TRUE(Server().AddRoutes(Route("/job/dropped", "\"body_size\": 90000, \"drop_after\": 50000")));
    TestJobOwner owner;
    ReportLog log;
    const TempFolder folder(L"kelm-transfer-job");
    CDownloadJob job(Server().Url("/job/dropped"), folder.File(L"dropped.bin"));
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    const auto reports = log.Reports();
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ((Report{Finished, 50000, 90000}), reports[reports.size() - 2]);
    EXPECT_EQ(L"Internet download file Failed", log.records[reports.size() - 2].message);
    EXPECT_EQ((Report{Downloading, 0, 90000}), reports.back());
}

TEST_F(DownloadJobTest, CancelBeforeRunSendsNothing)
{
    ASSERT_TRUE(Server().Reset("/job/never/"));
    ASSERT_TRUE(Server().AddRoutes(Route("/job/never/file", "\"body_size\": 1000")));
    const TempFolder folder(L"kelm-transfer-job");
    const std::wstring path = folder.File(L"never.bin");
    ::DeleteFileW(path.c_str());
    TestJobOwner owner;
    ::SetEvent(owner.GetCancelEvent());
    ReportLog log;
    CDownloadJob job(Server().Url("/job/never/file"), path);
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    EXPECT_EQ((std::vector<Report>{{Aborted, 0, 0}}), log.Reports());
    EXPECT_TRUE(Server().Requests("/job/never/").empty());
    EXPECT_FALSE(FileExists(path));
}

TEST_F(DownloadJobTest, NoOwnerMeansNoJob)
{
    ReportLog log;
    const TempFolder folder(L"kelm-transfer-job");
    CDownloadJob job(Server().Url("/job/ok"), folder.File(L"unowned.bin"));
    EXPECT_EQ(0, job.Run(nullptr, log.Receiver()));
    EXPECT_TRUE(log.records.empty());
}

TEST_F(DownloadJobTest, CancelDuringTheTransferEndsCancelled)
{
    ASSERT_TRUE(Server().AddRoutes(
        Route("/job/slow", "\"body_size\": 3000000, \"piece_size\": 2000, \"piece_delay_ms\": 5")));
    TestJobOwner owner;
    ReportLog log;
    log.hook = [&](const DownloadStatusInfo& info) {
        if (info.received >= 10000)
            ::SetEvent(owner.GetCancelEvent());
    };
    const TempFolder folder(L"kelm-transfer-job");
    CDownloadJob job(Server().Url("/job/slow"), folder.File(L"slow.bin"));
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    const auto reports = log.Reports();
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(Cancelled, reports[reports.size() - 2].status);
    EXPECT_EQ((Report{Downloading, 0, 3000000}), reports.back());
}

// The size query of a job is broken off by a Cancel too: a server that takes
// the request and never answers does not hold the engine.
TEST_F(DownloadJobTest, CancelEndsAJobWhoseServerNeverAnswers)
{
    ASSERT_TRUE(Server().AddRoutes(Route("/job/silent", "\"body\": \"x\", \"silent_ms\": 60000")));
    const TempFolder folder(L"kelm-transfer-job-silent");
    const std::wstring path = folder.File(L"package.msi");
    TestJobOwner owner;
    std::thread canceller([&] {
        ::Sleep(700);
        owner.Cancel();
    });
    const ULONGLONG start = ::GetTickCount64();
    CDownloadJob job(Server().Url("/job/silent"), path);
    ReportLog log;
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    const ULONGLONG took = ::GetTickCount64() - start;
    canceller.join();
    EXPECT_LE(took, 700u + 2000u);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(DownloadJobTest, ExceptionsEndTheJobAborted)
{
    ASSERT_TRUE(Server().AddRoutes(Route("/job/throw", "\"body_size\": 200000")));
    const TempFolder folder(L"kelm-transfer-job");
    const std::wstring path = folder.File(L"throw.bin");
    TestJobOwner owner;
    ReportLog log;
    bool thrown = false;
    log.hook = [&](const DownloadStatusInfo& info) {
        if (info.received > 50000 && !thrown) {
            thrown = true;
            throw std::runtime_error("receiver failed");
        }
    };
    CDownloadJob job(Server().Url("/job/throw"), path);
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    const auto reports = log.Reports();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(Aborted, reports.back().status);
    // The file was closed on the way out: it can be deleted at once.
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

} // namespace
} // namespace kelm::test
