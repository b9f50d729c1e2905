// The HTTP client against the loopback test server: real WinINet, real sockets.

#include "transfer_test_support.h"

#include "transfer/detached_request.h"
#include "transfer/download_file.h"

#include <sstream>
#include <system_error>
#include <thread>

namespace kelm::test {
namespace {

std::string Quote(const std::string& text)
{
    return "\"" + text + "\"";
}

// A route serving the pattern bytes of the given size at path.
std::string PatternRoute(const std::string& path, size_t size, const std::string& extra = {})
{
    return "{\"path\": " + Quote(path) + ", \"body_size\": " + std::to_string(size) + ", \"seed\": " +
           std::to_string(size) + extra + "}";
}

struct FileDownload {
    bool result = false;
    std::string bytes;
    RecordingCallback callback;
};

// DownloadToFile into a fresh file, then the file's content.
void DownloadIntoFile(const std::wstring& url, const std::wstring& path, ICancelRequest& cancel, FileDownload& out)
{
    {
        CDownloadFile file;
        ASSERT_TRUE(file.Create(path));
        out.result = DownloadToFile(cancel, url, file, &out.callback);
    }
    out.bytes = ReadWholeFile(path);
}

class HttpClientTest : public TransferTest {};

TEST_F(HttpClientTest, DownloadsAreByteExactOverHttpAndHttps)
{
    const size_t sizes[] = {0, 1, 4095, 4096, 4097, 40960, 40961, 3 * 1024 * 1024 + 4099};
    const TempFolder folder(L"kelm-transfer-exact");
    for (const char* server : {"http", "https"}) {
        for (size_t size : sizes) {
            SCOPED_TRACE(std::string(server) + " " + std::to_string(size) + " bytes");
            const std::string path = "/client/exact/" + std::to_string(size);
            ASSERT_TRUE(Server().AddRoutes(PatternRoute(path, size)));
            CancelRequest never;
            FileDownload download;
            DownloadIntoFile(Server().Url(path, server), folder.File(L"exact.bin"), never, download);
            EXPECT_TRUE(download.result);
            EXPECT_TRUE(download.bytes == PatternBytes(size, static_cast<uint32_t>(size)))
                << "got " << download.bytes.size() << " bytes";
            const auto reports = download.callback.Reports();
            ASSERT_FALSE(reports.empty());
            EXPECT_EQ(Finished, reports.back().status);
            EXPECT_EQ(size, reports.back().received);
            EXPECT_EQ(0u, reports.back().errorCode);
            EXPECT_TRUE(reports.back().message.empty());
        }
    }
}

TEST_F(HttpClientTest, ServerSeesTheRequestsAsSent)
{
    const TempFolder folder(L"kelm-transfer-seen");
    ASSERT_TRUE(Server().Reset("/client/seen/"));
    ASSERT_TRUE(Server().AddRoutes(JsonList({PatternRoute("/client/seen/file", 10), PatternRoute("/client/seen/size", 20),
                                             PatternRoute("/client/seen/stream", 30)})));
    CancelRequest never;
    FileDownload download;
    DownloadIntoFile(Server().Url("/client/seen/file?x=1&y=two"), folder.File(L"seen.bin"), never, download);
    EXPECT_TRUE(download.result);
    EXPECT_EQ(20, QueryRemoteFileSize(Server().Url("/client/seen/size?q=%20z")));
    StringSink stream;
    EXPECT_TRUE(DownloadToStream(never, Server().Url("/client/seen/stream?version=3"), stream));

    struct Expected {
        const char* method;
        const char* target;
        const char* accept;
        bool jsonContentType;
    };
    const Expected expected[] = {
        {"GET", "/client/seen/file?x=1&y=two", "*/*", false},
        {"HEAD", "/client/seen/size?q=%20z", "application/xml, */*", false},
        {"GET", "/client/seen/stream?version=3", "application/xml, */*", true},
    };
    const auto requests = Server().Requests("/client/seen/");
    ASSERT_EQ(std::size(expected), requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        const LoggedRequest& request = requests[i];
        SCOPED_TRACE(request.target);
        EXPECT_EQ(expected[i].method, request.method);
        EXPECT_EQ(expected[i].target, request.target);
        EXPECT_EQ("HTTP/1.1", request.version);
        EXPECT_EQ("Mirelle Web Installer Client", request.Header("User-Agent"));
        EXPECT_EQ("https://www.kelmware.com/", request.Header("Referer"));
        EXPECT_EQ(expected[i].accept, request.Header("Accept"));
        if (expected[i].jsonContentType)
            EXPECT_EQ("application/json", request.Header("Content-Type"));
        else
            EXPECT_FALSE(request.HasHeader("Content-Type"));
    }
}

TEST_F(HttpClientTest, RemoteFileSizeFollowsStatusAndLength)
{
    struct Case {
        const char* name;
        std::string route;  // extra route fields
        int64_t expected;
    };
    const Case cases[] = {
        {"200 with length", "\"body_size\": 1234", 1234},
        {"401 gives the length", "\"status\": 401, \"body_size\": 321", 321},
        {"500 gives the length", "\"status\": 500, \"body_size\": 77", 77},
        {"403", "\"status\": 403, \"body_size\": 50", 0},
        {"404", "\"status\": 404, \"body_size\": 50", 0},
        {"199", "\"status\": 199, \"body_size\": 50", 0},
        {"501", "\"status\": 501, \"body_size\": 50", 0},
        {"chunked, no length", "\"body_size\": 5000, \"chunked\": true", 0},
        {"length above 2147483647", "\"content_length\": 3000000000, \"omit_body\": true",
         2147483647},
        {"no body, length 0", "\"body_size\": 0", 0},
        {"HEAD refused: the whole length of a one-byte range", "\"refuse_head\": true, \"ranges\": true, \"body_size\": 4321",
         4321},
        {"HEAD refused, no ranges: the length of the whole body", "\"refuse_head\": true, \"body_size\": 654", 654},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string path = std::string("/client/size/") + test.name;
        std::string escaped;
        for (char c : path)
            escaped += c == ' ' ? std::string("%20") : std::string(1, c);
        ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(escaped) + ", " + test.route + "}"));
        EXPECT_EQ(test.expected, QueryRemoteFileSize(Server().Url(escaped)));
    }
    EXPECT_EQ(0, QueryRemoteFileSize(L""));
    EXPECT_EQ(0, QueryRemoteFileSize(L"not a url"));
    EXPECT_EQ(0, QueryRemoteFileSize(L"http://127.0.0.1:1/closed-port"));

    ASSERT_TRUE(Server().AddRoutes(PatternRoute("/client/size/secure", 4321)));
    EXPECT_EQ(4321, QueryRemoteFileSize(Server().Url("/client/size/secure", "https")));
    for (const char* untrusted : {"https_self_signed", "https_wrong_name", "https_expired"}) {
        SCOPED_TRACE(untrusted);
        EXPECT_EQ(0, QueryRemoteFileSize(Server().Url("/client/size/secure", untrusted)));
    }
}

TEST_F(HttpClientTest, BrokenTransfersAndUntrustedServersFail)
{
    constexpr uint32_t kAnyError = 0;
    struct Case {
        const char* name;
        std::string route;  // route fields for /client/fail/<n>
        const char* server;
        const wchar_t* message;
        uint32_t errorCode;
    };
    const Case cases[] = {
        {"connection closed after part of the body", "\"body_size\": 100000, \"drop_after\": 30000", "http",
         L"Internet download file Failed", kAnyError},
        {"connection reset after part of the body",
         "\"body_size\": 100000, \"drop_after\": 30000, \"hold_ms\": 300, \"drop\": \"reset\"", "http",
         L"Internet download file Failed", kAnyError},
        {"body shorter than announced", "\"body_size\": 60000, \"content_length\": 100000, \"close\": true", "http",
         L"Internet download file Failed", kAnyError},
        {"error status", "\"status\": 500, \"body_size\": 3000", "http", L"Internet download file Failed", 500},
        {"self-signed certificate", "\"body_size\": 100", "https_self_signed", L"HttpSendRequest Failed.",
         ERROR_INTERNET_INVALID_CA},
        {"certificate for another name", "\"body_size\": 100", "https_wrong_name", L"HttpSendRequest Failed.",
         ERROR_INTERNET_SEC_CERT_CN_INVALID},
        {"expired certificate", "\"body_size\": 100", "https_expired", L"HttpSendRequest Failed.",
         ERROR_INTERNET_SEC_CERT_DATE_INVALID},
    };
    const TempFolder folder(L"kelm-transfer-fail");
    int index = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string path = "/client/fail/" + std::to_string(index++);
        ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(path) + ", " + test.route + "}"));
        CancelRequest never;
        FileDownload download;
        DownloadIntoFile(Server().Url(path, test.server), folder.File(L"fail.bin"), never, download);
        EXPECT_FALSE(download.result);
        const auto reports = download.callback.Reports();
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(Finished, reports.back().status);
        EXPECT_EQ(test.message, reports.back().message);
        if (test.errorCode == kAnyError)
            EXPECT_NE(0u, reports.back().errorCode);
        else
            EXPECT_EQ(test.errorCode, reports.back().errorCode);
    }
}

TEST_F(HttpClientTest, RequestsThatCannotBeMadeEndWithAFinishedReport)
{
    struct Case {
        std::wstring url;
        const wchar_t* message;
        bool hasError;
    };
    const Case cases[] = {
        {L"", L"", false},
        {L"no scheme at all", L"", false},
        {L"http://127.0.0.1:1/closed-port", L"HttpSendRequest Failed.", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.url.begin(), test.url.end()));
        CancelRequest never;
        CDownloadFile unused;
        RecordingCallback callback;
        EXPECT_FALSE(DownloadToFile(never, test.url, unused, &callback));
        const auto reports = callback.Reports();
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ(Finished, reports[0].status);
        EXPECT_EQ(test.message, reports[0].message);
        EXPECT_EQ(test.hasError, reports[0].errorCode != 0);
        EXPECT_EQ(0u, reports[0].received);
    }
}

TEST_F(HttpClientTest, AFileThatRefusesWritesEndsTheTransferWithItsError)
{
    ASSERT_TRUE(Server().AddRoutes(PatternRoute("/client/unopened", 5000)));
    CancelRequest never;
    CDownloadFile unopened;
    RecordingCallback callback;
    TransferOutcome outcome;
    EXPECT_FALSE(TransferToFile(never, Server().Url("/client/unopened"), unopened, &callback, ResumePoint{}, nullptr,
                                outcome));
    EXPECT_EQ(FailureKind::LocalFile, outcome.failure.kind);
    EXPECT_EQ(TransferStep::WriteFile, outcome.failure.step);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), outcome.failure.systemError);
    const auto reports = callback.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(Finished, reports.back().status);
    EXPECT_EQ(L"Internet download file Failed", reports.back().message);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_HANDLE), reports.back().errorCode);
    // The connection of the failed transfer is closed: the next request still works.
    const TempFolder folder(L"kelm-transfer-unopened");
    FileDownload download;
    DownloadIntoFile(Server().Url("/client/unopened"), folder.File(L"after.bin"), never, download);
    EXPECT_TRUE(download.result);
    EXPECT_TRUE(download.bytes == PatternBytes(5000, 5000));
}

TEST_F(HttpClientTest, SessionOpensOnceAndClosesForGood)
{
    ASSERT_TRUE(OpenSession());
    const HINTERNET session = g_hInternet;
    EXPECT_TRUE(OpenSession());
    EXPECT_EQ(session, g_hInternet);

    CloseSession();
    EXPECT_EQ(nullptr, g_hInternet);
    ASSERT_TRUE(Server().AddRoutes(PatternRoute("/client/session", 10)));
    CancelRequest never;
    CDownloadFile unused;
    RecordingCallback callback;
    EXPECT_FALSE(DownloadToFile(never, Server().Url("/client/session"), unused, &callback));
    ASSERT_EQ(1u, callback.Count());
    EXPECT_EQ(L"InternetConnect Failed.", callback.Reports()[0].message);
    EXPECT_EQ(0, QueryRemoteFileSize(Server().Url("/client/session")));

    ASSERT_TRUE(OpenSession());
    EXPECT_EQ(10, QueryRemoteFileSize(Server().Url("/client/session")));
}

TEST_F(HttpClientTest, PauseHoldsTheTransferOnTheSameConnection)
{
    const std::string path = "/client/pause/slow";
    const size_t size = 200000;
    ASSERT_TRUE(Server().Reset("/client/pause/"));
    ASSERT_TRUE(Server().AddRoutes(PatternRoute(path, size, ", \"piece_size\": 2000, \"piece_delay_ms\": 5")));
    TestJobOwner events;
    CancelRequest cancel(events.GetCancelEvent(), events.GetRunEvent());
    UniqueHandle paused(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FileDownload download;
    std::atomic<uint64_t> receivedAtPause{0};
    download.callback.hook = [&](const DownloadStatusInfo& info) {
        if (info.received >= 20000 && receivedAtPause == 0) {
            receivedAtPause = info.received;
            ::ResetEvent(events.GetRunEvent());
            ::SetEvent(paused.Get());
        }
    };
    const TempFolder folder(L"kelm-transfer-pause");
    const std::wstring file = folder.File(L"paused.bin");
    std::thread worker([&] { DownloadIntoFile(Server().Url(path), file, cancel, download); });

    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(paused.Get(), 20000));
    ::Sleep(300);  // the read under way when the pause came ends, then the transfer holds
    const size_t reportsWhilePaused = download.callback.Count();
    const std::string bytesWhilePaused = ReadWholeFile(file);
    ::Sleep(600);
    EXPECT_EQ(reportsWhilePaused, download.callback.Count());
    const auto held = download.callback.Reports();
    ::SetEvent(events.GetRunEvent());
    worker.join();

    EXPECT_TRUE(download.result);
    EXPECT_TRUE(download.bytes == PatternBytes(size, size));
    const auto reports = download.callback.Reports();
    ASSERT_GT(reports.size(), reportsWhilePaused);
    // Nothing was read while paused beyond the read that was under way (reads on
    // this slow line shrink to a few kilobytes), and the transfer went on from
    // where it stood on the same connection.
    EXPECT_LE(held.back().received - receivedAtPause, 64u * 1024);
    EXPECT_GT(reports[reportsWhilePaused].received, held.back().received);
    const auto requests = Server().Requests("/client/pause/");
    EXPECT_EQ(1u, requests.size());
}

TEST_F(HttpClientTest, CancelReachesAPausedTransfer)
{
    const std::string path = "/client/pause-cancel/slow";
    ASSERT_TRUE(Server().AddRoutes(PatternRoute(path, 400000, ", \"piece_size\": 2000, \"piece_delay_ms\": 5")));
    TestJobOwner events;
    CancelRequest cancel(events.GetCancelEvent(), events.GetRunEvent());
    FileDownload download;
    download.callback.hook = [&](const DownloadStatusInfo& info) {
        if (info.received >= 20000)
            ::ResetEvent(events.GetRunEvent());
    };
    const TempFolder folder(L"kelm-transfer-pause-cancel");
    std::thread worker([&] { DownloadIntoFile(Server().Url(path), folder.File(L"paused.bin"), cancel, download); });
    ::Sleep(700);
    ::SetEvent(events.GetCancelEvent());  // the run event stays reset
    worker.join();
    EXPECT_FALSE(download.result);
    const auto reports = download.callback.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(Cancelled, reports.back().status);
    EXPECT_LT(reports.back().received, 400000u);
}

TEST_F(HttpClientTest, CancelEndsWithACancelledReportHalfASecondLater)
{
    const std::string path = "/client/cancel/slow";
    ASSERT_TRUE(Server().AddRoutes(PatternRoute(path, 4000000, ", \"piece_size\": 2000, \"piece_delay_ms\": 5")));
    TestJobOwner events;
    CancelRequest cancel(events.GetCancelEvent(), events.GetRunEvent());
    FileDownload download;
    LARGE_INTEGER cancelledAt{};
    LARGE_INTEGER reportedAt{};
    download.callback.hook = [&](const DownloadStatusInfo& info) {
        if (info.status == Downloading && info.received >= 20000 && cancelledAt.QuadPart == 0) {
            cancelledAt = Now();
            ::SetEvent(events.GetCancelEvent());
        }
        if (info.status == Cancelled)
            reportedAt = Now();
    };
    const TempFolder folder(L"kelm-transfer-cancel");
    DownloadIntoFile(Server().Url(path), folder.File(L"cancelled.bin"), cancel, download);

    EXPECT_FALSE(download.result);
    const auto reports = download.callback.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(Cancelled, reports.back().status);
    EXPECT_LT(reports.back().received, 100000u);
    const double delay = Milliseconds(cancelledAt, reportedAt);
    EXPECT_GE(delay, 495.0);
    EXPECT_LE(delay, 1500.0);
    // What the broken-off transfer left in the file is the body's start, as it
    // was received: nothing beyond what was reported, nothing out of place.
    EXPECT_LE(download.bytes.size(), reports.back().received);
    EXPECT_TRUE(download.bytes == PatternBytes(download.bytes.size(), 4000000)) << download.bytes.size() << " bytes";
}

// A server that goes silent (after part of the body, or before any answer)
// ends the transfer: at once when the transfer is cancelled, after the receive
// timeout when nobody cancels.
// A trickle that never meets the receive timeout breaks off once a window of
// the minimum speed has brought too little; a slow line above it is not cut.
TEST_F(HttpClientTest, ATrickleBelowTheMinimumSpeedBreaksOff)
{
    const MinimumSpeedWindowForTest window(3000); // 1,024 bytes in 3 s
    const struct {
        const char* name;
        const char* route;
        bool complete;
    } cases[] = {
        {"10 bytes a second", R"("body_size": 4000, "piece_size": 10, "piece_delay_ms": 1000)", false},
        {"600 bytes a second", R"("body_size": 4200, "piece_size": 600, "piece_delay_ms": 1000)", true},
    };
    const TempFolder folder(L"kelm-transfer-trickle");
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string path = "/client/trickle/" + std::to_string(i);
        ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(path) + ", " + cases[i].route + "}"));
        CDownloadFile file;
        ASSERT_TRUE(file.Create(folder.File(L"trickle.bin")));
        CancelRequest never;
        TransferOutcome outcome;
        const LARGE_INTEGER start = Now();
        EXPECT_EQ(cases[i].complete, TransferToFile(never, Server().Url(path), file, nullptr, ResumePoint{}, nullptr,
                                                    outcome));
        const double took = Milliseconds(start, Now());
        if (!cases[i].complete) {
            EXPECT_EQ(FailureKind::BrokenBody, outcome.failure.kind);
            EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), outcome.failure.systemError);
            EXPECT_TRUE(IsWorthRetrying(outcome.failure.kind));
            EXPECT_GE(took, 2900.0);
            EXPECT_LE(took, 6000.0);
        }
    }
}

// What arrives on a slow line reaches the file within seconds, not only as
// whole buffers: a transfer stopped after 3 s at 10 KB/s leaves its bytes.
TEST_F(HttpClientTest, ASlowLineReachesTheFileEveryFewSeconds)
{
    ASSERT_TRUE(Server().AddRoutes(
        R"({"path": "/client/slowline", "body_size": 300000, "piece_size": 1000, "piece_delay_ms": 100})"));
    const TempFolder folder(L"kelm-transfer-slowline");
    const std::wstring path = folder.File(L"slow.bin");
    TestJobOwner owner;
    CancelRequest cancel(owner.GetCancelEvent(), owner.GetRunEvent());
    // Watches the file from outside, as the next run would read it, and stops
    // the transfer once bytes are there (or after 8 s).
    bool reached = false;
    std::thread watcher([&] {
        for (int i = 0; i < 400 && !reached; ++i) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            reached = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow >= 12000;
            if (!reached)
                ::Sleep(20);
        }
        owner.Cancel();
    });
    FileDownload download;
    DownloadIntoFile(Server().Url("/client/slowline"), path, cancel, download);
    watcher.join();
    EXPECT_FALSE(download.result);
    // At 10 KB/s a 1 MiB buffer would take 100 s to fill: the bytes came by the 2-second hand-overs.
    EXPECT_TRUE(reached) << "nothing reached the file within 8 s";
    EXPECT_GE(download.bytes.size(), 12000u);
    EXPECT_LT(download.bytes.size(), 100000u);
    EXPECT_TRUE(download.bytes == PatternBytes(download.bytes.size(), 0));
}

TEST_F(HttpClientTest, SilentServersEndTheTransferByCancelOrTimeout)
{
    struct SilentCase {
        const char* name;
        const char* route;  // fields after the path
        bool cancel;
        const wchar_t* message;
        uint64_t received;  // at most
    };
    const SilentCase cases[] = {
        {"stalls after part of the body, cancelled",
         "\"body_size\": 500000, \"drop_after\": 30000, \"hold_ms\": 60000", true, L"", 30000},
        {"never answers, cancelled", "\"body\": \"x\", \"silent_ms\": 60000", true, L"", 0},
        {"stalls after part of the body, nobody cancels",
         "\"body_size\": 500000, \"drop_after\": 30000, \"hold_ms\": 60000", false,
         L"Internet download file Failed", 30000},
        {"never answers, nobody cancels", "\"body\": \"x\", \"silent_ms\": 60000", false,
         L"HttpSendRequest Failed.", 0},
    };
    const DWORD timeout = 1500;
    const TransferTimeoutForTest shortTimeout(timeout);
    const TempFolder folder(L"kelm-transfer-silent");
    for (const SilentCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = "/client/silent/" + std::to_string(&c - cases);
        ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(path) + ", " + c.route + "}"));
        TestJobOwner owner;
        CancelRequest cancel(owner.GetCancelEvent(), owner.GetRunEvent());
        FileDownload download;
        const LARGE_INTEGER start = Now();
        LARGE_INTEGER cancelledAt{};
        std::thread canceller;
        if (c.cancel) {
            canceller = std::thread([&] {
                ::Sleep(700);
                cancelledAt = Now();
                owner.Cancel();
            });
        }
        DownloadIntoFile(Server().Url(path), folder.File(L"silent.bin"), cancel, download);
        const LARGE_INTEGER end = Now();
        if (canceller.joinable())
            canceller.join();

        EXPECT_FALSE(download.result);
        const auto reports = download.callback.Reports();
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(c.cancel ? Cancelled : Finished, reports.back().status);
        EXPECT_EQ(std::wstring(c.message), reports.back().message);
        // A read that the stall broke off may have taken bytes it never counted.
        EXPECT_LE(reports.back().received, c.received);
        if (c.cancel) {
            // The Cancelled report comes 500 ms after the transfer stopped.
            EXPECT_LE(Milliseconds(cancelledAt, end), 1000.0);
        } else {
            EXPECT_NE(0u, reports.back().errorCode);
            EXPECT_GE(Milliseconds(start, end), timeout - 100.0);
            EXPECT_LE(Milliseconds(start, end), 3.0 * timeout + 1000.0);
        }
    }
}

// A Cancel walks away from a request blocked on a silent server; the request's
// thread keeps its handle until the receive timeout ends the call, closes it
// itself, and the session is not closed under it: closing waits for the thread.
TEST_F(HttpClientTest, TheSessionOutlivesEveryRequestThreadThatWasWalkedAwayFrom)
{
    const DWORD timeout = 1000; // within the session's wait at its close
    const TransferTimeoutForTest shortTimeout(timeout);
    ASSERT_TRUE(Server().AddRoutes(R"({"path": "/client/walked-away", "body": "x", "silent_ms": 60000})"));
    ASSERT_TRUE(WaitForRequestThreads(5000)) << "no request thread of an earlier test is left";
    TestJobOwner owner;
    CancelRequest cancel(owner.GetCancelEvent(), owner.GetRunEvent());
    std::thread canceller([&] {
        ::Sleep(300);
        owner.Cancel();
    });
    FileDownload download;
    const TempFolder folder(L"kelm-transfer-walked-away");
    const LARGE_INTEGER start = Now();
    DownloadIntoFile(Server().Url("/client/walked-away"), folder.File(L"walked.bin"), cancel, download);
    canceller.join();
    EXPECT_FALSE(download.result);
    EXPECT_LE(Milliseconds(start, Now()), 1300.0) << "the waiter walked away at the Cancel";
    EXPECT_FALSE(WaitForRequestThreads(0)) << "the request's thread is still in its call";

    const LARGE_INTEGER closing = Now();
    CloseSession();
    EXPECT_EQ(nullptr, g_hInternet);
    EXPECT_TRUE(WaitForRequestThreads(0));
    // It waited for the thread, which the receive timeout ended.
    EXPECT_GE(Milliseconds(start, Now()), timeout - 100.0);
    EXPECT_LE(Milliseconds(closing, Now()), 3.0 * timeout + 1000.0);
    ASSERT_TRUE(OpenSession());
}

TEST_F(HttpClientTest, TransfersGoOnFromTheBytesTheFileHasWhileItIsTheSameFile)
{
    const size_t size = 300000;
    const size_t had = 100000;
    const std::string whole = PatternBytes(size, 7);
    struct Case {
        const char* name;
        std::string routeFields;
        std::wstring validator;
        bool resumed;
    };
    const Case cases[] = {
        {"same ETag", R"("ranges": true, "etag": "\"v1\"")", L"\"v1\"", true},
        {"same Last-Modified", R"("ranges": true, "last_modified": "Tue, 01 Dec 2026 10:00:00 GMT")",
         L"Tue, 01 Dec 2026 10:00:00 GMT", true},
        {"ETag changed", R"("ranges": true, "etag": "\"v2\"")", L"\"v1\"", false},
        {"no ranges served", R"("etag": "\"v1\"")", L"\"v1\"", false},
    };
    const TempFolder folder(L"kelm-transfer-resume");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& test = cases[i];
        SCOPED_TRACE(test.name);
        const std::string path = "/client/resume/" + std::to_string(i);
        ASSERT_TRUE(Server().Reset(path));
        ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(path) + ", \"body_size\": " + std::to_string(size) +
                                       ", \"seed\": 7, " + test.routeFields + "}"));
        const std::wstring file = folder.File(L"resume.bin");
        CDownloadFile target;
        ASSERT_TRUE(target.Create(file));
        target.Write(whole.data(), had);
        Sha256 hash;
        hash.Update(whole.data(), had);
        CancelRequest never;
        RecordingCallback callback;
        TransferOutcome outcome;
        EXPECT_TRUE(TransferToFile(never, Server().Url(path), target, &callback, ResumePoint{had, test.validator},
                                   &hash, outcome));
        target.Close();
        EXPECT_TRUE(ReadWholeFile(file) == whole);
        EXPECT_EQ(Sha256Of(whole), hash.Finish());
        EXPECT_EQ(size, outcome.fileSize);
        EXPECT_EQ(!test.resumed, outcome.restarted);
        EXPECT_EQ(test.resumed ? 206u : 200u, outcome.status.value_or(0));
        ASSERT_TRUE(outcome.totalSize.has_value());
        EXPECT_EQ(size, *outcome.totalSize);
        const auto requests = Server().Requests(path);
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ("bytes=100000-", requests[0].Header("Range"));
        EXPECT_EQ(std::string(test.validator.begin(), test.validator.end()), requests[0].Header("If-Range"));
        // A resumed transfer's progress goes on from the bytes already had.
        const uint64_t lowest = test.resumed ? had : 0;
        for (const DownloadStatusInfo& report : callback.Reports())
            EXPECT_GE(report.received, lowest);
        EXPECT_EQ(size, callback.Reports().back().received);
    }
}

TEST_F(HttpClientTest, StreamReceivesDocumentsAndRefusesErrorPages)
{
    struct Case {
        const char* name;
        std::string route;
        std::string body;
        bool succeeds; // an error status is a failure, whatever the body holds
    };
    const Case cases[] = {
        {"document", "\"body\": \"<kelmwebinstaller/>\"", "<kelmwebinstaller/>", true},
        {"404 error page", "\"status\": 404, \"body\": \"<h1>Not Found</h1>\"", "<h1>Not Found</h1>", false},
        {"500 with an XML body", "\"status\": 500, \"body\": \"<kelmwebinstaller/>\"", "<kelmwebinstaller/>", false},
        {"chunked", "\"body\": \"0123456789abcdef\", \"chunked\": true, \"piece_size\": 5", "0123456789abcdef",
         true},
    };
    for (const char* server : {"http", "https"}) {
        int index = 0;
        for (const Case& test : cases) {
            SCOPED_TRACE(std::string(server) + " " + test.name);
            const std::string path = "/client/stream/" + std::to_string(index++);
            ASSERT_TRUE(Server().AddRoutes("{\"path\": " + Quote(path) + ", " + test.route + "}"));
            CancelRequest never;
            StringSink stream;
            EXPECT_EQ(test.succeeds, DownloadToStream(never, Server().Url(path, server), stream));
            EXPECT_EQ(test.body, stream.text);
        }
    }
    const std::string large = "/client/stream/large";
    ASSERT_TRUE(Server().AddRoutes(PatternRoute(large, 100001)));
    CancelRequest never;
    StringSink stream;
    EXPECT_TRUE(DownloadToStream(never, Server().Url(large), stream));
    EXPECT_TRUE(stream.text == PatternBytes(100001, 100001));
}

TEST_F(HttpClientTest, StreamFailsWithoutARequestWhenCancelledOrWhenItsBytesCannotBeKept)
{
    ASSERT_TRUE(Server().AddRoutes(PatternRoute("/client/stream-cancel", 100)));
    TestJobOwner events;
    ::SetEvent(events.GetCancelEvent());
    CancelRequest cancelled(events.GetCancelEvent(), events.GetRunEvent());
    CancelRequest never;
    StringSink stream;
    EXPECT_FALSE(DownloadToStream(cancelled, Server().Url("/client/stream-cancel"), stream));
    EXPECT_FALSE(DownloadToStream(never, L"", stream));
    EXPECT_FALSE(DownloadToStream(never, Server().Url("/client/stream-cancel", "https_self_signed"), stream));
    EXPECT_TRUE(stream.text.empty());

    // A stream that cannot keep the bytes (a full disk) loses the document.
    struct RefusingSink final : IByteSink {
        bool Write(const char*, std::size_t) override { return false; }
    } refusing;
    EXPECT_FALSE(DownloadToStream(never, Server().Url("/client/stream-cancel"), refusing));
}

} // namespace
} // namespace kelm::test
