// The download job against the loopback test server: the reports the engine
// sees, the file it leaves, and what it does on cancel, failure and exceptions.

#include "transfer_test_support.h"
#include "transfer/partial_record.h"


#include <algorithm>
#include <cwctype>
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

// Each case scripts the server's answers to the job's requests in order (the
// size query is the first request): which requests come, and whether the file
// ends exact.
TEST_F(DownloadJobTest, TransfersThatFailAreAskedForAgainWhenThatCanHelp)
{
    const RetryWaitUnitForTest quickRetries(50);
    const TransferTimeoutForTest timeout(1000);
    const size_t size = 300000;
    struct Case {
        const char* name;
        std::string fields;  // of the route, with "attempts"
        bool succeeds;
        std::vector<std::string> ranges;  // the Range header of each request ("" none); empty: not checked
    };
    const std::string etag = R"("ranges": true, "etag": "\"e1\"")";
    const Case cases[] = {
        {"cut at half, resumed", etag + R"(, "attempts": [{}, {"drop_after": 150000}])", true,
         {"", "", "bytes=150000-"}},
        {"cut at half, no ranges served: starts again", R"("etag": "\"e1\"", "attempts": [{}, {"drop_after": 150000}])",
         true, {"", "", "bytes=150000-"}},
        {"cut at half, then another ETag: starts again",
         etag + R"(, "attempts": [{}, {"drop_after": 150000}, {"etag": "\"e2\""}])", true, {"", "", "bytes=150000-"}},
        {"503, reset, timeout, then the file",
         etag + R"(, "attempts": [{"status": 503, "body": "busy"}, {}, {"drop_after": 100000, "drop": "reset"}, {"silent_ms": 4000}])",
         true, {}},
        {"404: asked once", R"("status": 404, "body": "gone")", false, {""}},
        {"403 after a size: not asked again", R"("attempts": [{}, {"status": 403, "body": "no"}])", false, {"", ""}},
        {"always 500: five attempts", R"("status": 500, "body": "broken")", false, {"", "", "", "", ""}},
        {"no Content-Length: no size, asked once", R"("chunked": true)", false, {""}},
    };
    const TempFolder folder(L"kelm-transfer-job-retry");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& test = cases[i];
        SCOPED_TRACE(test.name);
        const std::string path = "/job/retry/" + std::to_string(i);
        ASSERT_TRUE(Server().Reset(path));
        ASSERT_TRUE(Server().AddRoutes(Route(path, "\"body_size\": 300000, \"seed\": 3, " + test.fields)));
        const std::wstring local = folder.File(L"retry.bin");
        ::DeleteFileW(local.c_str());
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url(path), local);
        EXPECT_EQ(test.succeeds ? 1 : 0, job.Run(&owner, log.Receiver()));
        if (test.succeeds) {
            EXPECT_TRUE(ReadWholeFile(local) == PatternBytes(size, 3));
            EXPECT_EQ(DownloadFailure::None, job.Failure());
        } else {
            EXPECT_EQ(DownloadFailure::Network, job.Failure());
        }
        const auto requests = Server().Requests(path);
        if (!test.ranges.empty()) {
            ASSERT_EQ(test.ranges.size(), requests.size());
            for (size_t r = 0; r < requests.size(); ++r)
                EXPECT_EQ(test.ranges[r], requests[r].Header("Range")) << "request " << r;
        } else {
            EXPECT_EQ(5u, requests.size()); // 503, size, reset, timeout, the rest
        }
        // Progress never falls back while the file keeps its bytes.
        uint64_t highest = 0;
        const bool startsAgain = std::string(test.name).find("starts again") != std::string::npos;
        for (const DownloadStatusInfo& info : log.records) {
            if (info.status != Downloading || info.received == 0)
                continue;
            if (!startsAgain) {
                EXPECT_GE(info.received, highest);
            }
            highest = std::max(highest, info.received);
        }
    }
}

TEST_F(DownloadJobTest, WaitsBetweenAttemptsFollowRetryAfterAndEndOnCancel)
{
    ASSERT_TRUE(Server().AddRoutes(JsonList(
        {Route("/job/wait/later", R"("body_size": 1000, "attempts": [{"status": 429, "headers": {"Retry-After": "2"}}])"),
         Route("/job/wait/down", R"("status": 503, "body": "busy")")})));
    const TempFolder folder(L"kelm-transfer-job-wait");
    {
        // A short unit: what is waited for is the server's two seconds.
        const RetryWaitUnitForTest quickRetries(50);
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url("/job/wait/later"), folder.File(L"later.bin"));
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
        const ULONGLONG took = ::GetTickCount64() - start;
        EXPECT_GE(took, 2000u);
        EXPECT_LT(took, 4000u);
    }
    {
        // The default waits (1, 2, 4, 8 s): a Cancel during one ends the job at once.
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url("/job/wait/down"), folder.File(L"down.bin"));
        // Cancelled in the wait after the second attempt (whenever that came:
        // a loaded machine may take long for the first).
        std::atomic<ULONGLONG> cancelledAt{0};
        std::thread canceller([&] {
            for (int i = 0; i < 500 && Server().Requests("/job/wait/down").size() < 2; ++i)
                ::Sleep(20);
            ::Sleep(300);
            cancelledAt = ::GetTickCount64();
            owner.Cancel();
        });
        EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
        const ULONGLONG ended = ::GetTickCount64();
        canceller.join();
        EXPECT_LT(ended - cancelledAt, 1000u) << "the Cancel ends the wait at once";
        // Attempt 1, the wait of 1 s, attempt 2, then the Cancel in the wait of 2 s.
        EXPECT_EQ(2u, Server().Requests("/job/wait/down").size());
        ASSERT_GE(log.records.size(), 2u);
        EXPECT_EQ(Cancelled, log.records[log.records.size() - 2].status);
    }
}

TEST_F(DownloadJobTest, DownloadsAreCheckedAgainstTheExpectedSizeAndHash)
{
    const RetryWaitUnitForTest quickRetries(50);
    const std::string bytes = PatternBytes(200000, 11);
    const std::wstring right = Sha256Of(bytes);
    std::wstring wrong = right;
    wrong[10] = wrong[10] == L'0' ? L'1' : L'0';
    struct Case {
        const char* name;
        ExpectedFile expected;
        bool succeeds;
        // A mismatch is fetched once more, then given up: two transfers after
        // the size query. A body larger than expected is not read at all.
        size_t requests;
    };
    const Case cases[] = {
        {"right size and hash", {200000, right}, true, 2},
        {"right hash in capitals", {std::nullopt, [&] {
                                        std::wstring upper = right;
                                        for (wchar_t& c : upper)
                                            c = static_cast<wchar_t>(::towupper(c));
                                        return upper;
                                    }()},
         true, 2},
        {"wrong hash", {200000, wrong}, false, 3},
        {"smaller than expected", {200001, L""}, false, 3},
        {"larger than expected", {199999, L""}, false, 2},
    };
    const TempFolder folder(L"kelm-transfer-job-verify");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& test = cases[i];
        SCOPED_TRACE(test.name);
        const std::string path = "/job/verify/" + std::to_string(i);
        ASSERT_TRUE(Server().Reset(path));
        ASSERT_TRUE(Server().AddRoutes(Route(path, R"("body_size": 200000, "seed": 11, "etag": "\"x\"")")));
        const std::wstring local = folder.File(L"checked.exe");
        const std::wstring partial = local + L".partial";
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url(path), local);
        job.Expect(test.expected);
        job.UsePartialFile(partial);
        EXPECT_EQ(test.succeeds ? 1 : 0, job.Run(&owner, log.Receiver()));
        EXPECT_FALSE(FileExists(partial));
        EXPECT_FALSE(FileExists(partial + L".record"));
        EXPECT_EQ(test.requests, Server().Requests(path).size());
        if (test.succeeds) {
            EXPECT_TRUE(ReadWholeFile(local) == bytes);
            // Held for reading only: another program can read it, not change or delete it.
            UniqueFile file = job.TakeVerifiedFile();
            ASSERT_TRUE(file.IsValid());
            UniqueFile reader(::CreateFileW(local.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                            nullptr));
            EXPECT_TRUE(reader.IsValid());
            UniqueFile writer(::CreateFileW(local.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            EXPECT_FALSE(writer.IsValid());
            EXPECT_FALSE(::DeleteFileW(local.c_str()));
            reader.Reset();
            file.Reset();
            EXPECT_TRUE(::DeleteFileW(local.c_str()));
        } else {
            EXPECT_EQ(DownloadFailure::Verification, job.Failure());
            EXPECT_FALSE(FileExists(local));
        }
    }
}

// A reply without a length (chunked) is taken when the manifest gives the
// size, and held to it: more is cut off, less is fetched once more.
TEST_F(DownloadJobTest, AReplyWithoutALengthIsTakenWhenTheSizeIsExpected)
{
    const std::string bytes = PatternBytes(200000, 12);
    const std::wstring sha = Sha256Of(bytes);
    const struct {
        const char* name;
        ExpectedFile expected;
        bool succeeds;
        size_t requests; // the size query, then each transfer
    } cases[] = {
        {"size and hash", {200000, sha}, true, 2},
        {"size alone", {200000, L""}, true, 2},
        {"more than the size: cut, not used", {150000, L""}, false, 2},
        {"less than the size: fetched once more, not used", {250000, L""}, false, 3},
    };
    const TempFolder folder(L"kelm-transfer-job-chunked");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& test = cases[i];
        SCOPED_TRACE(test.name);
        const std::string path = "/job/chunked/" + std::to_string(i);
        ASSERT_TRUE(Server().Reset(path));
        ASSERT_TRUE(Server().AddRoutes(Route(path, R"("body_size": 200000, "seed": 12, "chunked": true)")));
        const std::wstring local = folder.File(L"chunked.bin");
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url(path), local);
        job.Expect(test.expected);
        job.UsePartialFile(local + L".partial");
        EXPECT_EQ(test.succeeds ? 1 : 0, job.Run(&owner, log.Receiver()));
        EXPECT_EQ(test.requests, Server().Requests(path).size());
        if (test.succeeds) {
            EXPECT_EQ((Report{Downloading, 0, 200000}), log.Reports().back());
            job.TakeVerifiedFile().Reset();
            EXPECT_TRUE(ReadWholeFile(local) == bytes);
            ::DeleteFileW(local.c_str());
        } else {
            EXPECT_EQ(DownloadFailure::Verification, job.Failure());
            EXPECT_FALSE(FileExists(local));
        }
    }
}

// When an address cannot deliver the file, its mirrors are tried in turn; with
// a SHA-256 the bytes the file has are continued there, without one the file
// starts again.
TEST_F(DownloadJobTest, MirrorsServeWhatTheFirstAddressCannot)
{
    const RetryWaitUnitForTest quickRetries(20);
    const std::string bytes = PatternBytes(300000, 13);
    const std::wstring sha = Sha256Of(bytes);
    const std::string serves = R"("body_size": 300000, "seed": 13, "ranges": true)";
    const struct {
        const char* name;
        std::string first;     // the first address's route fields
        std::wstring sha256;
        bool succeeds;
        std::string mirrorRange; // the Range of the mirror's first GET ("" none; "-" no GET at all)
    } cases[] = {
        {"404: the mirror at once", R"("status": 404, "body": "gone")", sha, true, ""},
        {"410 without a hash", R"("status": 410, "body": "gone")", L"", true, ""},
        {"broken off at half on every attempt: the mirror goes on from there",
         R"("body_size": 300000, "seed": 13, "drop_after": 150000)", sha, true, "bytes=150000-"},
        {"the same without a hash: the mirror starts again",
         R"("body_size": 300000, "seed": 13, "drop_after": 150000)", L"", true, ""},
        {"401: not a file another host has", R"("status": 401, "body": "who?")", sha, false, "-"},
    };
    const TempFolder folder(L"kelm-transfer-job-mirrors");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& test = cases[i];
        SCOPED_TRACE(test.name);
        const std::string first = "/job/mirrors/" + std::to_string(i) + "/first";
        const std::string mirror = "/job/mirrors/" + std::to_string(i) + "/mirror";
        ASSERT_TRUE(Server().Reset("/job/mirrors/" + std::to_string(i) + "/"));
        ASSERT_TRUE(Server().AddRoutes(JsonList({Route(first, test.first), Route(mirror, serves)})));
        const std::wstring local = folder.File(L"mirrored.bin");
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url(first), local);
        job.Expect({300000, test.sha256});
        job.UsePartialFile(local + L".partial");
        job.AddMirrors({Server().Url(mirror)});
        EXPECT_EQ(test.succeeds ? 1 : 0, job.Run(&owner, log.Receiver()));
        std::vector<std::string> mirrorRanges;
        for (const auto& request : Server().Requests(mirror))
            if (request.method == "GET")
                mirrorRanges.push_back(request.Header("Range"));
        if (std::string(test.mirrorRange) == "-") {
            EXPECT_TRUE(Server().Requests(mirror).empty());
        } else {
            ASSERT_FALSE(mirrorRanges.empty());
            EXPECT_EQ(test.mirrorRange, mirrorRanges[0]);
        }
        if (test.succeeds) {
            job.TakeVerifiedFile().Reset();
            EXPECT_TRUE(ReadWholeFile(local) == bytes);
            ::DeleteFileW(local.c_str());
        }
        ::DeleteFileW((local + L".partial").c_str());
        ::DeleteFileW((local + L".partial.record").c_str());
    }
}

TEST_F(DownloadJobTest, AVerifiedFileAlreadyThereIsNotFetchedAgain)
{
    const std::string bytes = PatternBytes(50000, 5);
    ASSERT_TRUE(Server().Reset("/job/present/"));
    ASSERT_TRUE(Server().AddRoutes(Route("/job/present/file", R"("body_size": 50000, "seed": 5)")));
    const TempFolder folder(L"kelm-transfer-job-present");
    const std::wstring local = folder.File(L"present.exe");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first run" : "second run");
        TestJobOwner owner;
        ReportLog log;
        CDownloadJob job(Server().Url("/job/present/file"), local);
        job.Expect({50000, Sha256Of(bytes)});
        job.UsePartialFile(local + L".partial");
        EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
        EXPECT_TRUE(job.TakeVerifiedFile().IsValid());
        EXPECT_EQ(2u, Server().Requests("/job/present/").size());
        EXPECT_EQ(100u, log.records.empty() ? 0 : log.records[log.records.size() - 2].received * 100 / 50000);
    }
}

// A run that ended during a download leaves the partial file (the buffers
// written so far) and its record; the next run asks for the rest only.
TEST_F(DownloadJobTest, ALaterRunGoesOnWithAnEarlierRunsPartialFile)
{
    const size_t size = 3 * 1024 * 1024 + 1000;
    ASSERT_TRUE(Server().Reset("/job/later/"));
    ASSERT_TRUE(Server().AddRoutes(Route("/job/later/file", R"("body_size": 3146728, "seed": 9, "ranges": true, )"
                                                            R"("last_modified": "Mon, 07 Dec 2026 08:00:00 GMT", )"
                                                            R"("attempts": [{}, {"piece_size": 64000, "piece_delay_ms": 20}])")));
    const TempFolder folder(L"kelm-transfer-job-later");
    const std::wstring local = folder.File(L"later.msi");
    const std::wstring partial = folder.File(L"later.msi.partial");
    const ExpectedFile expected{size, Sha256Of(PatternBytes(size, 9))};
    {
        TestJobOwner owner;
        ReportLog log;
        log.hook = [&](const DownloadStatusInfo& info) {
            if (info.received >= 1300000)
                owner.Cancel();
        };
        CDownloadJob job(Server().Url("/job/later/file"), local);
        job.Expect(expected);
        job.UsePartialFile(partial);
        EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    }
    ASSERT_TRUE(FileExists(partial + L".record"));
    const std::string had = ReadWholeFile(partial);
    ASSERT_GT(had.size(), 0u);
    ASSERT_LT(had.size(), size);
    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/later/file"), local);
    job.Expect(expected);
    job.UsePartialFile(partial);
    EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
    job.TakeVerifiedFile();
    EXPECT_TRUE(ReadWholeFile(local) == PatternBytes(size, 9));
    EXPECT_FALSE(FileExists(partial));
    EXPECT_FALSE(FileExists(partial + L".record"));
    const auto requests = Server().Requests("/job/later/");
    ASSERT_EQ(4u, requests.size()); // each run: the size query, then the file
    EXPECT_EQ("bytes=" + std::to_string(had.size()) + "-", requests[3].Header("Range"));
    EXPECT_EQ("Mon, 07 Dec 2026 08:00:00 GMT", requests[3].Header("If-Range"));
}

// The length the size query announces holds for the whole download: a body sent
// without a length (chunked) that goes on past it is cut there, not asked for
// again, and not kept.
TEST_F(DownloadJobTest, ABodyLongerThanTheAnnouncedLengthIsCutAndNotKept)
{
    ASSERT_TRUE(Server().Reset("/job/longer/"));
    ASSERT_TRUE(Server().AddRoutes(Route("/job/longer/file", R"("body_size": 300000, "seed": 3, )"
                                                             R"("attempts": [{}, {"body_size": 5000000, "chunked": true}])")));
    const TempFolder folder(L"kelm-transfer-job-longer");
    const std::wstring local = folder.File(L"longer.exe");
    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/longer/file"), local);
    job.UsePartialFile(local + L".partial");
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    EXPECT_EQ(DownloadFailure::Verification, job.Failure());
    EXPECT_EQ(2u, Server().Requests("/job/longer/").size()) << "the size query, then one transfer";
    EXPECT_FALSE(FileExists(local));
    EXPECT_FALSE(FileExists(local + L".partial"));
    for (const Report& report : log.Reports())
        EXPECT_LE(report.received, 300000u) << "nothing past the announced length";
}

// Bytes somebody put in a partial file, with a record naming the same address,
// are continued only when the SHA-256 will vouch for them too.
TEST_F(DownloadJobTest, APartialFileWithoutAKnownHashIsNotGoneOnWith)
{
    const size_t size = 200000;
    ASSERT_TRUE(Server().Reset("/job/planted/"));
    ASSERT_TRUE(Server().AddRoutes(
        Route("/job/planted/file", R"("body_size": 200000, "seed": 5, "ranges": true, "etag": "\"p\"")")));
    const TempFolder folder(L"kelm-transfer-job-planted");
    const std::wstring local = folder.File(L"setup.exe");
    const std::wstring partial = local + L".partial";
    const std::string planted = "MZ planted bytes";
    ASSERT_TRUE(WriteFileBytes(partial, planted));
    PartialRecord record{Server().Url("/job/planted/file"), L"\"p\"", planted.size(), size, L""};
    ASSERT_TRUE(WritePartialRecord(partial + L".record", record));

    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/planted/file"), local);
    job.Expect({size, L""});
    job.UsePartialFile(partial);
    EXPECT_EQ(1, job.Run(&owner, log.Receiver()));
    job.TakeVerifiedFile();
    EXPECT_TRUE(ReadWholeFile(local) == PatternBytes(size, 5)) << "the file begins with the server's bytes";
    const auto requests = Server().Requests("/job/planted/");
    ASSERT_EQ(2u, requests.size());
    EXPECT_FALSE(requests[1].HasHeader("Range"));
}

TEST_F(DownloadJobTest, AVolumeWithoutRoomStopsTheJobBeforeAnyByteIsWritten)
{
    ASSERT_TRUE(Server().Reset("/job/room/"));
    ASSERT_TRUE(Server().AddRoutes(Route("/job/room/file", R"("body_size": 1000)")));
    const TempFolder folder(L"kelm-transfer-job-room");
    const std::wstring local = folder.File(L"room.exe");
    TestJobOwner owner;
    ReportLog log;
    CDownloadJob job(Server().Url("/job/room/file"), local);
    job.UsePartialFile(local + L".partial");
    job.AlsoNeedSpace(1ull << 60); // the packages after this one: more than any volume
    EXPECT_EQ(0, job.Run(&owner, log.Receiver()));
    EXPECT_EQ(DownloadFailure::DiskSpace, job.Failure());
    EXPECT_FALSE(job.Shortage().folder.empty());
    EXPECT_GT(job.Shortage().needed, job.Shortage().available);
    EXPECT_FALSE(FileExists(local + L".partial"));
    EXPECT_EQ(1u, Server().Requests("/job/room/").size()); // the size query only
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
