// Download speed and memory of the download job against a plain WinINet loop
// with a large buffer and no file work (the ceiling of the platform).
// Not a test: scripts/benchmark-transfer.sh runs it and prints the comparison.
//
// Usage: transfer_benchmark.exe job <url> <local file>
//        transfer_benchmark.exe bare <url> <buffer KiB> [<local file>]
// (bare with a file writes each filled buffer to it before the next read).
// Prints one line: "RESULT <mode> bytes=<n> seconds=<s> ws_before=<bytes> ws_peak=<bytes> reports=<n>"
// (working set before the download, peak working set after it, progress reports).

#include "transfer/download_job.h"
#include "runlog/run_log.h"
#include "transfer/internet_handle.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

using namespace kelm;

namespace {

class BenchmarkOwner : public IDownloadJobOwner {
public:
    HANDLE GetCancelEvent() const override { return m_cancel.Get(); }
    HANDLE GetRunEvent() const override { return m_run.Get(); }

private:
    UniqueHandle m_cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle m_run{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
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

// The same GET as the job's, its body read with plain InternetReadFile calls
// into one buffer of the given size, each read written to file when it is
// open; the byte count returned.
uint64_t BareDownload(const std::wstring& url, DWORD bufferSize, HANDLE file)
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
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    UniqueInternetHandle request(::HttpOpenRequestW(
        connection.Get(), L"GET", path, L"HTTP/1.1", nullptr, acceptTypes,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI, 0));
    if (!request || !::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0))
        return 0;
    auto buffer = std::make_unique<unsigned char[]>(bufferSize);
    uint64_t received = 0;
    DWORD read = 0;
    while (::InternetReadFile(request.Get(), buffer.get(), bufferSize, &read) && read > 0) {
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE && !(::WriteFile(file, buffer.get(), read, &written, nullptr) && written == read))
            return 0;
        received += read;
    }
    return received;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!((mode == L"job" && argc == 4) || (mode == L"bare" && (argc == 4 || argc == 5)))) {
        std::fprintf(stderr, "usage: transfer_benchmark job <url> <file> | bare <url> <buffer KiB> [<file>]\n");
        return 2;
    }
    if (!OpenSession())
        return 1;
    // KELM_BENCHMARK_LOG names a run log that gets the requests' own lines.
    wchar_t logPath[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"KELM_BENCHMARK_LOG", logPath, MAX_PATH) > 0)
        OpenRunLog(logPath);
    const std::wstring url = argv[2];

    const PROCESS_MEMORY_COUNTERS before = Memory();
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    uint64_t bytes = 0;
    uint64_t reports = 0;
    if (mode == L"job") {
        BenchmarkOwner owner;
        CDownloadJob job(url, argv[3]);
        uint64_t received = 0;
        const int result = job.Run(&owner, [&](const DownloadStatusInfo& info) {
            ++reports;
            if (info.status == Finished)
                received = info.received;
        });
        bytes = result ? received : 0;
    } else {
        UniqueFile file;
        if (argc == 5)
            file.Reset(::CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (argc == 5 && !file)
            return 1;
        bytes = BareDownload(url, static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10) * 1024), file.Get());
    }
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&end);
    const PROCESS_MEMORY_COUNTERS after = Memory();
    CloseSession();

    std::printf("RESULT %ls bytes=%llu seconds=%.3f ws_before=%llu ws_peak=%llu reports=%llu\n", mode.c_str(),
                static_cast<unsigned long long>(bytes), Seconds(start, end),
                static_cast<unsigned long long>(before.WorkingSetSize),
                static_cast<unsigned long long>(after.PeakWorkingSetSize), static_cast<unsigned long long>(reports));
    return bytes ? 0 : 1;
}
