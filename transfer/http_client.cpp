#include "transfer/http_client.h"

#include "runlog/run_log.h"
#include "transfer/download_file.h"
#include "transfer/internet_handle.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace kelm {

HINTERNET g_hInternet = nullptr;
constinit SlimLock g_csDownload;

namespace {

constinit SlimLock g_sessionLock;

constexpr DWORD kFileReadSize = 4096;
constexpr DWORD kFileBlockSize = 10 * kFileReadSize;
constexpr DWORD kStreamReadSize = 16384;
constexpr DWORD kUrlComponentChars = 4096;
// Each question to the cancel request waits on an event: a kernel call, and under
// Wine a wineserver round trip that costs as much as a read. While a file
// transfer runs it asks at most this often (milliseconds), and while paused it
// sleeps this long between questions.
constexpr ULONGLONG kCancelAskInterval = 10;

// Certificates are always verified: the installer runs what it downloads with
// administrator rights, so a certificate for another host or out of its dates
// is refused like any other connection failure.
constexpr DWORD kFileRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                    INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI;
constexpr DWORD kSmallRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI;

constexpr wchar_t kStreamRequestHeaders[] = L"Content-Type: application/json";
static_assert(std::size(kStreamRequestHeaders) - 1 == 30);

// The parts of a URL that a request needs, cracked into fixed-size buffers.
struct CrackedUrl {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = 0;
    std::unique_ptr<wchar_t[]> schemeName{new wchar_t[kUrlComponentChars]()};
    std::unique_ptr<wchar_t[]> host{new wchar_t[kUrlComponentChars]()};
    std::unique_ptr<wchar_t[]> userName{new wchar_t[kUrlComponentChars]()};
    std::unique_ptr<wchar_t[]> password{new wchar_t[kUrlComponentChars]()};
    std::unique_ptr<wchar_t[]> path{new wchar_t[kUrlComponentChars]()};
    std::unique_ptr<wchar_t[]> extra{new wchar_t[kUrlComponentChars]()};

    bool IsSecure() const noexcept { return scheme == INTERNET_SCHEME_HTTPS; }
    // The path with its query string.
    std::wstring ObjectName() const { return std::wstring(path.get()) + extra.get(); }
};

bool CrackUrl(const std::wstring& url, CrackedUrl& parts)
{
    if (url.empty() || url.size() > ULONG_MAX)
        return false;
    URL_COMPONENTSW components{};
    components.dwStructSize = sizeof(components);
    components.lpszScheme = parts.schemeName.get();
    components.dwSchemeLength = kUrlComponentChars;
    components.lpszHostName = parts.host.get();
    components.dwHostNameLength = kUrlComponentChars;
    components.lpszUserName = parts.userName.get();
    components.dwUserNameLength = kUrlComponentChars;
    components.lpszPassword = parts.password.get();
    components.dwPasswordLength = kUrlComponentChars;
    components.lpszUrlPath = parts.path.get();
    components.dwUrlPathLength = kUrlComponentChars;
    components.lpszExtraInfo = parts.extra.get();
    components.dwExtraInfoLength = kUrlComponentChars;
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &components))
        return false;
    parts.scheme = components.nScheme;
    parts.port = components.nPort;
    return true;
}

const wchar_t* NullWhenEmpty(const wchar_t* text) noexcept
{
    return *text ? text : nullptr;
}

UniqueInternetHandle Connect(const CrackedUrl& parts)
{
    const DWORD service = parts.scheme == INTERNET_SCHEME_FTP ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP;
    return UniqueInternetHandle(::InternetConnectW(g_hInternet, parts.host.get(), parts.port,
                                                   NullWhenEmpty(parts.userName.get()),
                                                   NullWhenEmpty(parts.password.get()), service, 0, 0));
}

UniqueInternetHandle OpenRequest(HINTERNET connection, const CrackedUrl& parts, const wchar_t* verb,
                                 const wchar_t** acceptTypes, DWORD flags)
{
    if (parts.IsSecure())
        flags |= INTERNET_FLAG_SECURE;
    const std::wstring object = parts.ObjectName();
    return UniqueInternetHandle(::HttpOpenRequestW(connection, verb, object.c_str(), L"HTTP/1.1", nullptr,
                                                   acceptTypes, flags, 0));
}

void AddReferer(HINTERNET request)
{
    if (g_strReferer.empty())
        return;
    const std::wstring header = L"Referer: " + std::wstring(g_strReferer);
    ::HttpAddRequestHeadersW(request, header.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
}

std::optional<DWORD> QueryStatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
        return std::nullopt;
    return status;
}

// Leading decimal digits of text (after blanks and a sign), saturated to the
// signed 32-bit range: what a 32-bit string-to-long conversion gives.
long ParseLong32(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-')
        negative = *text++ == L'-';
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > 2147483648LL)
            value = 2147483648LL;
    }
    if (negative)
        return static_cast<long>(-value);
    return static_cast<long>(std::min(value, 2147483647LL));
}

// The Content-Length of the reply as a full 64-bit count, or nothing when the
// reply has none (chunked) or it is not a plain number.
std::optional<std::uint64_t> QueryContentLength(HINTERNET request)
{
    std::array<wchar_t, 32> text{};
    DWORD length = sizeof(text) - sizeof(wchar_t);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text.data(), &length, nullptr))
        return std::nullopt;
    std::uint64_t value = 0;
    const wchar_t* digit = text.data();
    if (*digit == 0)
        return std::nullopt;
    for (; *digit; ++digit) {
        if (*digit < L'0' || *digit > L'9' || value > (UINT64_MAX - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(*digit - L'0');
    }
    return value;
}

// Writes one accumulated block at the running offset; the lock serialises all
// block writes of the process.
void WriteBlock(CDownloadFile& file, std::uint64_t& fileOffset, const unsigned char* data, std::size_t size)
{
    std::lock_guard lock(g_csDownload);
    file.Seek(fileOffset);
    file.Write(data, size);
    fileOffset += size;
}

// The reason of a failed WinINet call; never 0, so a failure always shows as one.
DWORD FailureCode()
{
    const DWORD error = ::GetLastError();
    return error ? error : ERROR_INTERNET_CONNECTION_ABORTED;
}

// One line in the run's log per request, written when the request is over:
// what was asked, what the server answered, how much arrived and how long it took.
class RequestRecord {
public:
    RequestRecord(const wchar_t* what, const std::wstring& url) noexcept : m_what(what), m_url(url) {}
    RequestRecord(const RequestRecord&) = delete;
    RequestRecord& operator=(const RequestRecord&) = delete;
    ~RequestRecord()
    {
        try {
            const ULONGLONG elapsed = ::GetTickCount64() - m_start;
            const std::wstring status = m_status ? L"HTTP " + std::to_wstring(*m_status) : std::wstring(L"no reply");
            const std::wstring length = m_contentLength ? L"Content-Length " + std::to_wstring(*m_contentLength)
                                                        : std::wstring(L"no Content-Length");
            Log(m_what, L" ", m_url, L": ", status, L", ", length, L", received ", m_received, L" bytes in ",
                elapsed, L" ms", m_failure.empty() ? L"" : L"; failed: ", m_failure);
        } catch (...) {
            // Out of memory: the line is lost, the transfer is not.
        }
    }

    void Answered(HINTERNET request)
    {
        m_status = QueryStatusCode(request);
        m_contentLength = QueryContentLength(request);
    }
    void Received(std::uint64_t bytes) noexcept { m_received = bytes; }
    void Failed(const wchar_t* why, DWORD code)
    {
        m_failure = std::wstring(why) + L" (" + std::to_wstring(code) + L")";
    }

private:
    const wchar_t* m_what;
    const std::wstring& m_url;
    ULONGLONG m_start = ::GetTickCount64();
    std::optional<DWORD> m_status;
    std::optional<std::uint64_t> m_contentLength;
    std::uint64_t m_received = 0;
    std::wstring m_failure;
};

struct BodyOutcome {
    bool failed = false;
    DWORD errorCode = 0;
};

// Reads the reply body into file. The caller has checked for cancellation.
BodyOutcome ReadBodyToFile(HINTERNET request, ICancelRequest& cancel, CDownloadFile& file,
                           IDownloadCallback* callback, DownloadStatusInfo& info)
{
    BodyOutcome outcome;
    const std::optional<DWORD> status = QueryStatusCode(request);
    if (!status) {
        outcome = {true, FailureCode()};
        return outcome;
    }
    // An error page is not the file that was asked for.
    if (*status < 200 || *status > 299) {
        outcome = {true, *status};
        return outcome;
    }
    const std::optional<std::uint64_t> announced = QueryContentLength(request);

    auto readBuffer = std::make_unique<unsigned char[]>(kFileReadSize);
    auto block = std::make_unique<unsigned char[]>(kFileBlockSize);
    DWORD blockUsed = 0;
    std::uint64_t fileOffset = 0;
    bool cancelled = false;
    bool paused = false;
    ULONGLONG lastAsked = 0;

    for (;;) {
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0)) {
            outcome = {true, FailureCode()};
            break;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (paused || now - lastAsked >= kCancelAskInterval) {
            lastAsked = now;
            if (cancel.IsCancelled()) {
                cancelled = true;
                break;
            }
            paused = cancel.IsPaused() != 0;
        }
        if (paused) {
            // Nothing is read while paused. A short sleep between questions keeps
            // a long pause (the user reading a message box) from spinning a core.
            ::Sleep(static_cast<DWORD>(kCancelAskInterval));
            continue;
        }
        if (available == 0)
            break;
        DWORD read = 0;
        if (!::InternetReadFile(request, readBuffer.get(), std::min(available, kFileReadSize), &read)) {
            outcome = {true, FailureCode()};
            break;
        }
        if (read == 0)
            break;  // the connection ended although data was announced

        info.status = Downloading;
        info.received += read;
        if (callback)
            callback->OnStatus(info);

        std::memcpy(block.get() + blockUsed, readBuffer.get(), read);
        blockUsed += read;
        if (blockUsed + kFileReadSize > kFileBlockSize || read < kFileReadSize) {
            WriteBlock(file, fileOffset, block.get(), blockUsed);
            blockUsed = 0;
        }
        if (callback)
            callback->OnStatus(info);
    }
    if (cancelled)
        return outcome;
    if (blockUsed > 0)
        WriteBlock(file, fileOffset, block.get(), blockUsed);
    if (outcome.failed)
        return outcome;
    if (announced && info.received != *announced) {
        outcome = {true, ERROR_INTERNET_CONNECTION_RESET};
        return outcome;
    }
    // One sync for the whole body: nothing reads the file before it is complete.
    std::lock_guard lock(g_csDownload);
    file.Flush();
    return outcome;
}

} // namespace

bool OpenSession()
{
    std::lock_guard lock(g_sessionLock);
    if (!g_hInternet)
        g_hInternet = ::InternetOpenW(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    return g_hInternet != nullptr;
}

void CloseSession()
{
    std::lock_guard lock(g_sessionLock);
    UniqueInternetHandle session(std::exchange(g_hInternet, nullptr));
}

std::int64_t QueryRemoteFileSize(const std::wstring& url)
{
    CrackedUrl parts;
    if (!CrackUrl(url, parts))
        return 0;
    RequestRecord record(L"size query", url);
    UniqueInternetHandle connection = Connect(parts);
    if (!connection) {
        record.Failed(L"InternetConnect", FailureCode());
        return 0;
    }
    const wchar_t* acceptTypes[] = {L"application/xml", L"*/*", nullptr};
    UniqueInternetHandle request = OpenRequest(connection.Get(), parts, nullptr, acceptTypes, kSmallRequestFlags);
    if (!request) {
        record.Failed(L"HttpOpenRequest", FailureCode());
        return 0;
    }
    AddReferer(request.Get());
    if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) {
        record.Failed(L"HttpSendRequest", FailureCode());
        return 0;
    }
    record.Answered(request.Get());

    const std::optional<DWORD> status = QueryStatusCode(request.Get());
    if (!status || *status == 403 || *status == 404 || *status < 200 || *status > 500)
        return 0;

    std::array<wchar_t, 16> text{};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH, text.data(), &length, nullptr))
        return 0;
    text.back() = 0;
    // A negative length is no size.
    return std::max<std::int64_t>(ParseLong32(text.data()), 0);
}

bool DownloadToFile(ICancelRequest& cancel, const std::wstring& url, CDownloadFile& file,
                    IDownloadCallback* callback)
{
    DownloadStatusInfo info;
    bool result = false;
    CrackedUrl parts;
    RequestRecord record(L"GET", url);
    if (CrackUrl(url, parts)) {
        UniqueInternetHandle connection = Connect(parts);
        if (!connection) {
            info.errorCode = ::GetLastError();
            info.message = L"InternetConnect Failed.";
        } else {
            const wchar_t* acceptTypes[] = {L"*/*", nullptr};
            UniqueInternetHandle request = OpenRequest(connection.Get(), parts, L"GET", acceptTypes, kFileRequestFlags);
            if (!request) {
                info.errorCode = ::GetLastError();
                info.message = L"HttpOpenRequest Failed.";
            } else {
                AddReferer(request.Get());
                if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) {
                    info.errorCode = ::GetLastError();
                    info.message = L"HttpSendRequest Failed.";
                } else if (!cancel.IsCancelled()) {
                    record.Answered(request.Get());
                    const BodyOutcome outcome = ReadBodyToFile(request.Get(), cancel, file, callback, info);
                    record.Received(info.received);
                    if (outcome.failed) {
                        info.errorCode = outcome.errorCode;
                        info.message = L"Internet download file Failed";
                    }
                    result = !outcome.failed && !cancel.IsCancelled();
                }
            }
            // The request handle closes here, before the connection.
        }
    }

    if (cancel.IsCancelled()) {
        result = false;
        info.status = Cancelled;
        record.Failed(L"cancelled", 0);
        ::Sleep(500);
    } else {
        info.status = Finished;
        if (!info.message.empty())
            record.Failed(info.message.c_str(), info.errorCode);
        else if (!result)
            record.Failed(L"no such address", ERROR_INTERNET_INVALID_URL);
    }
    if (callback)
        callback->OnStatus(info);
    return result;
}

bool DownloadToStream(ICancelRequest& cancel, const std::wstring& url, std::ostream& stream)
{
    try {
        RequestRecord record(L"GET", url);
        CrackedUrl parts;
        if (!CrackUrl(url, parts)) {
            record.Failed(L"no such address", ERROR_INTERNET_INVALID_URL);
            return false;
        }
        UniqueInternetHandle connection = Connect(parts);
        if (!connection) {
            record.Failed(L"InternetConnect", FailureCode());
            return false;
        }
        const wchar_t* acceptTypes[] = {L"application/xml", L"*/*", nullptr};
        UniqueInternetHandle request = OpenRequest(connection.Get(), parts, L"GET", acceptTypes, kSmallRequestFlags);
        if (!request) {
            record.Failed(L"HttpOpenRequest", FailureCode());
            return false;
        }
        AddReferer(request.Get());
        if (!::HttpSendRequestW(request.Get(), kStreamRequestHeaders, std::size(kStreamRequestHeaders) - 1,
                                nullptr, 0)) {
            record.Failed(L"HttpSendRequest", FailureCode());
            return false;
        }
        if (cancel.IsCancelled())
            return false;
        record.Answered(request.Get());

        auto buffer = std::make_unique<char[]>(kStreamReadSize);
        std::uint64_t received = 0;
        for (;;) {
            DWORD available = 0;
            if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0))
                break;
            if (cancel.IsCancelled() || available == 0)
                break;
            DWORD read = 0;
            if (!::InternetReadFile(request.Get(), buffer.get(), std::min(available, kStreamReadSize), &read) ||
                read == 0)
                break;
            stream.write(buffer.get(), read);
            received += read;
        }
        record.Received(received);
        if (cancel.IsCancelled())
            return false;
        // An error page (a proxy's, a portal's, the server's own) is not the document.
        const std::optional<DWORD> status = QueryStatusCode(request.Get());
        if (!status || *status < 200 || *status > 299) {
            record.Failed(L"not a success status", status.value_or(0));
            return false;
        }
        return true;
    } catch (const std::exception&) {
        // A stream that throws on failure: the document did not arrive.
        return false;
    }
}

} // namespace kelm
