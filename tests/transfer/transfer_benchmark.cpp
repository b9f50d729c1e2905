// Download speed and memory of the download job against a bare WinINet loop
// (the same requests and reads with no file work: the floor of the platform).
// Not a test: scripts/benchmark-transfer.sh runs it and prints the comparison.
//
// Usage: transfer_benchmark.exe job <url> <local file>
//        transfer_benchmark.exe job-no-events <url> <local file>   (no cancel/run events to ask)
//        transfer_benchmark.exe bare <url>
// Prints one line: "RESULT <mode> bytes=<n> seconds=<s> ws_before=<bytes> ws_peak_before=<bytes>
// ws_peak=<bytes>" (working set before the download, peak before it, peak after it).

#include "transfer/download_job.h"
#include "transfer/internet_handle.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

using namespace kelm;

namespace {

class NoPauseOwner : public IDownloadJobOwner {
public:
    explicit NoPauseOwner(bool withEvents)
    {
        if (withEvents) {
            m_cancel.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            m_run.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
        }
    }
    HANDLE GetCancelEvent() const override { return m_cancel.Get(); }
    HANDLE GetRunEvent() const override { return m_run.Get(); }

private:
    UniqueHandle m_cancel;
    UniqueHandle m_run;
};

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One request with the given verb and flags; the body is read with 4096-byte
// reads when readBody, and the byte count returned.
uint64_t g_reads = 0;
uint64_t g_shortReads = 0;

uint64_t BareRequest(const std::wstring& url, const wchar_t* verb, const wchar_t** acceptTypes, DWORD flags,
                     bool readBody)
{
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return 0;
    UniqueInternetHandle connection(::InternetConnectW(g_hInternet, host, parts.nPort, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return 0;
    UniqueInternetHandle request(
        ::HttpOpenRequestW(connection.Get(), verb, path, L"HTTP/1.1", nullptr, acceptTypes, flags, 0));
    if (!request)
        return 0;
    const std::wstring referer = L"Referer: " + std::wstring(g_strReferer);
    ::HttpAddRequestHeadersW(request.Get(), referer.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0))
        return 0;
    DWORD status = 0;
    DWORD length = sizeof(status);
    ::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr);
    wchar_t contentLength[16] = {};
    length = sizeof(contentLength);
    ::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH, contentLength, &length, nullptr);
    if (!readBody)
        return static_cast<uint64_t>(std::wcstoull(contentLength, nullptr, 10));

    auto buffer = std::make_unique<unsigned char[]>(4096);
    uint64_t received = 0;
    DWORD available = 0;
    while (::InternetQueryDataAvailable(request.Get(), &available, 0, 0) && available > 0) {
        DWORD read = 0;
        if (!::InternetReadFile(request.Get(), buffer.get(), available < 4096 ? available : 4096, &read) || read == 0)
            break;
        received += read;
        ++g_reads;
        g_shortReads += read < 4096;
    }
    return received;
}

uint64_t BareDownload(const std::wstring& url)
{
    const wchar_t* sizeAccept[] = {L"application/xml", L"*/*", nullptr};
    if (BareRequest(url, nullptr, sizeAccept, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI, false) == 0)
        return 0;
    const wchar_t* fileAccept[] = {L"*/*", nullptr};
    return BareRequest(url, L"GET", fileAccept,
                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                           INTERNET_FLAG_NO_UI,
                       true);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!(((mode == L"job" || mode == L"job-no-events") && argc == 4) || (mode == L"bare" && argc == 3))) {
        std::fprintf(stderr, "usage: transfer_benchmark job|job-no-events <url> <file> | bare <url>\n");
        return 2;
    }
    if (!OpenSession())
        return 1;
    const std::wstring url = argv[2];

    const PROCESS_MEMORY_COUNTERS before = Memory();
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    uint64_t bytes = 0;
    if (mode == L"job" || mode == L"job-no-events") {
        NoPauseOwner owner(mode == L"job");
        CDownloadJob job(url, argv[3]);
        uint64_t received = 0;
        uint64_t reported = 0;
        const int result = job.Run(&owner, [&](const DownloadStatusInfo& info) {
            if (info.status == Finished)
                received = info.received;
            // Two reports per read: count each read once.
            if (info.status == Downloading && info.received > reported) {
                ++g_reads;
                g_shortReads += info.received - reported < 4096;
                reported = info.received;
            }
        });
        bytes = result ? received : 0;
    } else {
        bytes = BareDownload(url);
    }
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&end);
    const PROCESS_MEMORY_COUNTERS after = Memory();
    CloseSession();

    std::printf("RESULT %ls bytes=%llu seconds=%.3f ws_before=%llu ws_peak_before=%llu ws_peak=%llu reads=%llu short_reads=%llu\n", mode.c_str(),
                static_cast<unsigned long long>(bytes), Seconds(start, end),
                static_cast<unsigned long long>(before.WorkingSetSize),
                static_cast<unsigned long long>(before.PeakWorkingSetSize),
                static_cast<unsigned long long>(after.PeakWorkingSetSize), static_cast<unsigned long long>(g_reads),
                static_cast<unsigned long long>(g_shortReads));
    return bytes ? 0 : 1;
}
