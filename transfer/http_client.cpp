#include "transfer/http_client.h"

#include "runlog/run_log.h"
#include "transfer/block_writer.h"
#include "transfer/detached_request.h"
#include "transfer/download_file.h"
#include "transfer/http_headers.h"
#include "transfer/internet_handle.h"
#include "transfer/sha256.h"
#include "transfer/write_fence.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <climits>
#include <cstring>
#include <cwctype>
#include <exception>
#include <system_error>
#include <memory>
#include <new>
#include <mutex>
#include <optional>

namespace kelm {

HINTERNET g_hInternet = nullptr;

namespace {

constinit SlimLock g_sessionLock;
constinit std::wstring g_proxy; // UseProxy's; under g_sessionLock

constexpr DWORD kStreamReadSize = 16384;
constexpr DWORD kUrlComponentChars = 4096;
// A paused transfer looks again after this long (milliseconds).
constexpr DWORD kPausedSleep = 10;
// The size of a file download's reads follows the line between these bounds
// (the largest is the buffer, kFileReadSize): a read quicker than kQuickRead
// doubles the next, one slower than kSlowRead halves it (milliseconds).
constexpr DWORD kSmallestReadSize = 8 * 1024;
constexpr DWORD kFirstReadSize = 64 * 1024;
constexpr ULONGLONG kQuickRead = 20;
constexpr ULONGLONG kSlowRead = 60;

std::atomic<DWORD> g_transferTimeout{kDefaultTransferTimeout};
std::atomic<DWORD> g_minimumSpeedWindow{kDefaultMinimumSpeedWindow};

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

void ApplyTimeouts(HINTERNET handle);

// Each request gets the timeouts itself: not every WinINet passes those of the
// session on to its requests.
UniqueInternetHandle OpenRequest(HINTERNET connection, const CrackedUrl& parts, const wchar_t* verb,
                                 const wchar_t** acceptTypes, DWORD flags)
{
    if (parts.IsSecure())
        flags |= INTERNET_FLAG_SECURE;
    const std::wstring object = parts.ObjectName();
    UniqueInternetHandle request(::HttpOpenRequestW(connection, verb, object.c_str(), L"HTTP/1.1", nullptr,
                                                    acceptTypes, flags, 0));
    if (request)
        ApplyTimeouts(request.Get());
    return request;
}

void ApplyTimeouts(HINTERNET handle)
{
    DWORD timeout = g_transferTimeout;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(handle, option, &timeout, sizeof(timeout));
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

// The Content-Length of the reply as a full 64-bit count, or nothing when the
// reply has none (chunked) or it is not a plain number.
std::optional<std::uint64_t> QueryContentLength(HINTERNET request)
{
    std::array<wchar_t, 32> text{};
    DWORD length = sizeof(text) - sizeof(wchar_t);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text.data(), &length, nullptr))
        return std::nullopt;
    return ParseContentLength(text.data());
}

// A header of the reply as text; empty when it has none.
std::wstring QueryHeaderText(HINTERNET request, DWORD header)
{
    std::array<wchar_t, 512> text{};
    DWORD length = sizeof(text) - sizeof(wchar_t);
    if (!::HttpQueryInfoW(request, header, text.data(), &length, nullptr))
        return {};
    return text.data();
}

std::wstring QueryValidator(HINTERNET request)
{
    return ChooseValidator(QueryHeaderText(request, HTTP_QUERY_ETAG),
                           QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED));
}

std::optional<DWORD> QueryRetryAfter(HINTERNET request)
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return ParseRetryAfter(QueryHeaderText(request, HTTP_QUERY_RETRY_AFTER), now);
}

std::optional<ContentRange> QueryContentRange(HINTERNET request)
{
    return ParseContentRange(QueryHeaderText(request, HTTP_QUERY_CONTENT_RANGE));
}

// The credentials the user gave for the proxy and for the server, sent with
// every later request of the run; and who asks for them.
struct Credentials {
    std::wstring user;
    std::wstring password;
    std::wstring origin; // a server's: "scheme://host:port" they were given for; they go there only
};

// "scheme://host:port" of an address as the connection reads it: what a
// server's credentials belong to. Empty when it cannot be read.
std::wstring OriginOfUrl(const std::wstring& url)
{
    CrackedUrl parts;
    if (!CrackUrl(url, parts))
        return {};
    std::wstring origin = std::wstring(parts.schemeName.get()) + L"://" + parts.host.get() + L":" +
                          std::to_wstring(parts.port);
    for (wchar_t& c : origin)
        c = static_cast<wchar_t>(::towlower(c));
    return origin;
}

constinit SlimLock g_credentialsLock;
Credentials* g_proxyCredentials = nullptr;  // under g_credentialsLock; never freed: request threads may outlive statics
Credentials* g_serverCredentials = nullptr;
std::atomic<CredentialsPrompt> g_credentialsPrompt{nullptr};
// Rounds of the dialog for one request before its reply stands.
constexpr int kMaxCredentialRounds = 3;

std::wstring QueryOptionText(HINTERNET request, DWORD option)
{
    std::array<wchar_t, 512> text{};
    DWORD length = sizeof(text) - sizeof(wchar_t);
    if (!::InternetQueryOptionW(request, option, text.data(), &length))
        return {};
    return text.data();
}

void SetOptionText(HINTERNET request, DWORD option, const std::wstring& text)
{
    ::InternetSetOptionW(request, option, const_cast<wchar_t*>(text.c_str()), static_cast<DWORD>(text.size()));
}

// The proxy's credentials go with every request (through the same proxy); a
// server's only to the server they were given for, never to a mirror or
// another host that asks for them.
void SendKnownCredentials(HINTERNET request, const std::wstring& url)
{
    std::lock_guard lock(g_credentialsLock);
    if (g_proxyCredentials) {
        SetOptionText(request, INTERNET_OPTION_PROXY_USERNAME, g_proxyCredentials->user);
        SetOptionText(request, INTERNET_OPTION_PROXY_PASSWORD, g_proxyCredentials->password);
    }
    if (g_serverCredentials && !g_serverCredentials->origin.empty() &&
        g_serverCredentials->origin == OriginOfUrl(url)) {
        SetOptionText(request, INTERNET_OPTION_USERNAME, g_serverCredentials->user);
        SetOptionText(request, INTERNET_OPTION_PASSWORD, g_serverCredentials->password);
    }
}

void KeepCredentials(HINTERNET request, DWORD status, const std::wstring& url) noexcept
{
    try {
        const bool proxy = status == 407;
        Credentials given{QueryOptionText(request, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME),
                          QueryOptionText(request, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD),
                          proxy ? std::wstring() : OriginOfUrl(url)};
        if (given.user.empty())
            return;
        std::lock_guard lock(g_credentialsLock);
        Credentials*& kept = proxy ? g_proxyCredentials : g_serverCredentials;
        if (!kept)
            kept = new Credentials();
        *kept = std::move(given);
    } catch (...) {
        // Not kept: a later request asks again.
    }
}

// The proxy the run's requests go through ("/proxy", else the system's
// settings); nothing when they go direct.
std::optional<std::wstring> SessionProxy()
{
    std::lock_guard lock(g_sessionLock);
    if (!g_proxy.empty())
        return g_proxy == L"direct" ? std::nullopt : std::optional<std::wstring>(g_proxy);
    std::array<unsigned char, 2048> buffer{};
    DWORD length = sizeof(buffer);
    if (!g_hInternet || !::InternetQueryOptionW(g_hInternet, INTERNET_OPTION_PROXY, buffer.data(), &length))
        return std::nullopt;
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY)
        return std::nullopt;
    return info->lpszProxy ? std::wstring(reinterpret_cast<const wchar_t*>(info->lpszProxy))
                           : std::wstring(L"of the system's settings");
}

// Reads a small reply's body away so that the request can be sent again.
void ReadAway(HINTERNET request)
{
    std::array<char, 4096> sink;
    DWORD read = 0;
    for (int rounds = 0; rounds < 64 && ::InternetReadFile(request, sink.data(), sink.size(), &read) && read > 0;
         ++rounds) {
    }
}

// Sends the request with the credentials the run has. A reply that asks for
// credentials (407 from the proxy, 401 from the server) is shown to the user
// through the prompt, and the request sent again with what was given. True
// when a reply came (whatever its status): false when the send failed.
bool SendRequest(HINTERNET request, const wchar_t* headers, DWORD headersLength, const std::wstring& url)
{
    SendKnownCredentials(request, url);
    for (int round = 0;; ++round) {
        if (!::HttpSendRequestW(request, headers, headersLength, nullptr, 0))
            return false;
        DWORD status = 0;
        DWORD length = sizeof(status);
        if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr) ||
            (status != 407 && status != 401))
            return true;
        const std::optional<std::wstring> proxy = SessionProxy();
        const std::wstring who =
            status == 407 ? L"the proxy " + proxy.value_or(L"(none: the run goes direct)") : std::wstring(L"the server");
        // Nobody is asked for a password that would cross the network in the
        // clear to whoever answers: a server's only over HTTPS, a proxy's only
        // when the run really goes through one.
        const bool askable = status == 407 ? proxy.has_value() : OriginOfUrl(url).rfind(L"https://", 0) == 0;
        if (!askable) {
            Log(who, L" asks for credentials (HTTP ", status, L") for ", url,
                status == 407 ? L"; the run uses no proxy: not asked" : L"; not over HTTPS: not asked");
            return true;
        }
        const CredentialsPrompt prompt = g_credentialsPrompt;
        if (!prompt || round >= kMaxCredentialRounds) {
            Log(who, L" asks for credentials (HTTP ", status, L") for ", url,
                prompt ? L"; none of those given were taken" : L"; this run cannot ask for them (silent)");
            return true;
        }
        ReadAway(request);
        const DWORD answer = prompt(request);
        if (answer != ERROR_INTERNET_FORCE_RETRY) {
            Log(who, L" asks for credentials (HTTP ", status, L") for ", url,
                answer == ERROR_NOT_SUPPORTED ? L"; nobody could be asked" : L"; the user cancelled the dialog");
            return true;
        }
        KeepCredentials(request, status, url);
        Log(L"credentials given for ", who, L"; ", url, L" is asked for again");
    }
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

// A failed step that got no usable reply.
TransferFailure StepFailed(TransferStep step, DWORD error) noexcept
{
    return {KindOfSystemError(error), error, std::nullopt, step};
}

TransferFailure LocalFileFailed(DWORD error) noexcept
{
    return {FailureKind::LocalFile, error, std::nullopt, TransferStep::WriteFile};
}

// A reply of the wrong kind, or one that broke off.
TransferFailure ReplyFailed(FailureKind kind, DWORD error, std::optional<DWORD> status) noexcept
{
    return {kind, error, status, TransferStep::ReadBody};
}

// The size query of QueryRemoteFile, on a thread of its own: a HEAD, and for
// a server that refuses HEAD a GET of the first byte. Neither reads a body, so
// closing the request costs nothing (closing one with an unread body of
// megabytes makes Wine's WinINet read all of it first).
class SizeQuery final : public DetachedRequest {
public:
    explicit SizeQuery(std::wstring url) : m_url(std::move(url)) {}
    ~SizeQuery() override { CloseRequest(); } // before the connection
    void Run() noexcept override
    {
        try {
            Query();
        } catch (...) {
            // Out of memory: no size.
            m_reply.failure = StepFailed(TransferStep::None, ERROR_NOT_ENOUGH_MEMORY);
        }
        // The waiter goes on now; a body the server sent anyway is read away
        // by the close, here.
        Finish();
        CloseRequest(); // before the connection
    }
    // Read by the waiter once the query has finished.
    const SizeReply& Reply() const noexcept { return m_reply; }

private:
    // Fills m_reply; the waiter reads it once Run has returned.
    void Query()
    {
        CrackedUrl parts;
        if (!CrackUrl(m_url, parts)) {
            m_reply.failure = {FailureKind::InvalidAddress, ERROR_INTERNET_INVALID_URL, std::nullopt, TransferStep::None};
            return;
        }
        m_connection = Connect(parts);
        if (!m_connection) {
            m_reply.failure = StepFailed(TransferStep::Connect, FailureCode());
            RequestRecord(L"size query", m_url).Failed(StepName(TransferStep::Connect), m_reply.failure.systemError);
            return;
        }
        // Its connection is not kept for the download: Wine's WinINet reads a
        // body on a connection reused from its pool at a third of the speed of a
        // new one (PLATFORM.md).
        std::optional<DWORD> status = Ask(parts, L"HEAD", L"Connection: close\r\n");
        if (status && (*status == 405 || *status == 501) && !IsAbandoned()) {
            CloseRequest();
            status = Ask(parts, L"GET", L"Range: bytes=0-0\r\n");
        }
        if (!status || IsAbandoned())
            return;
        const HINTERNET request = m_asked;
        m_reply.validator = QueryValidator(request);
        m_reply.retryAfterSeconds = QueryRetryAfter(request);
        if (*status != 403 && *status != 404 && *status >= 200 && *status <= 500) {
            const std::optional<ContentRange> range =
                *status == 206 ? QueryContentRange(request) : std::optional<ContentRange>();
            m_reply.length = range ? range->total : QueryContentLength(request);
            if (m_reply.length)
                m_reply.size = static_cast<std::int64_t>(std::min<std::uint64_t>(*m_reply.length, LONG_MAX));
        }
        if (m_reply.size == 0) {
            m_reply.length.reset();
            const FailureKind kind = KindOfStatus(*status);
            m_reply.failure = ReplyFailed(kind == FailureKind::None ? FailureKind::NoLength : kind, 0, status);
        } else if (KindOfStatus(*status) != FailureKind::None) {
            m_reply.failure = ReplyFailed(KindOfStatus(*status), 0, status);
        }
    }

    // Sends one request and holds it; its status, or nothing (m_reply says why).
    std::optional<DWORD> Ask(const CrackedUrl& parts, const wchar_t* verb, const wchar_t* headers)
    {
        RequestRecord record(verb == std::wstring_view(L"HEAD") ? L"size query" : L"size query GET", m_url);
        const wchar_t* acceptTypes[] = {L"application/xml", L"*/*", nullptr};
        UniqueInternetHandle opened = OpenRequest(m_connection.Get(), parts, verb, acceptTypes, kSmallRequestFlags);
        if (!opened) {
            m_reply.failure = StepFailed(TransferStep::OpenRequest, FailureCode());
            record.Failed(StepName(TransferStep::OpenRequest), m_reply.failure.systemError);
            return std::nullopt;
        }
        const HINTERNET request = opened.Get();
        if (!Hold(std::move(opened))) {
            record.Failed(L"cancelled", 0);
            return std::nullopt;
        }
        m_asked = request;
        AddReferer(request);
        const bool sent = SendRequest(request, headers, headers ? static_cast<DWORD>(-1) : 0, m_url);
        const DWORD sendFailure = sent ? 0 : FailureCode();
        if (IsAbandoned()) {
            record.Failed(L"cancelled", 0);
            return std::nullopt;
        }
        if (!sent) {
            m_reply.failure = StepFailed(TransferStep::SendRequest, sendFailure);
            record.Failed(StepName(TransferStep::SendRequest), sendFailure);
            return std::nullopt;
        }
        record.Answered(request);
        const std::optional<DWORD> status = QueryStatusCode(request);
        if (!status) {
            m_reply.failure = StepFailed(TransferStep::SendRequest, FailureCode());
            record.Failed(StepName(TransferStep::SendRequest), m_reply.failure.systemError);
        }
        return status;
    }

    const std::wstring m_url;
    UniqueInternetHandle m_connection;
    HINTERNET m_asked = nullptr; // the request held now (DetachedRequest owns it)
    SizeReply m_reply;
};

// What the waiting thread reads of a file transfer: the bytes in the file as
// they grow (at any time), and the outcome (once the request thread has finished).
struct TransferState {
    std::atomic<std::uint64_t> bytesInFile{0};
    TransferOutcome outcome;
};

// The request and the body of TransferToFile, on a thread of its own. It
// changes the download's file and hash only through the fence, which
// TransferToFile closes before it returns.
class FileTransfer final : public DetachedRequest {
public:
    FileTransfer(std::wstring url, CDownloadFile& file, ResumePoint from, Sha256* hash,
                 std::optional<std::uint64_t> sizeLimit)
        : m_url(std::move(url)), m_file(file), m_from(std::move(from)), m_hash(hash), m_sizeLimit(sizeLimit)
    {
        state.bytesInFile = m_from.offset;
        state.outcome.fileSize = m_from.offset;
    }

    void Run() noexcept override
    {
        // A file that refuses a change (or no memory left) ends the transfer here, as its failure.
        try {
            Transfer();
        } catch (const std::system_error& refused) {
            state.outcome.failure = LocalFileFailed(static_cast<DWORD>(refused.code().value()));
        } catch (...) {
            state.outcome.failure = LocalFileFailed(ERROR_NOT_ENOUGH_MEMORY);
        }
    }

    TransferState state;
    WriteFence fence;

private:
    void Transfer()
    {
        TransferOutcome& outcome = state.outcome;
        CrackedUrl parts;
        RequestRecord record(L"GET", m_url);
        if (!CrackUrl(m_url, parts)) {
            outcome.failure = {FailureKind::InvalidAddress, ERROR_INTERNET_INVALID_URL, std::nullopt, TransferStep::None};
            record.Failed(L"no such address", ERROR_INTERNET_INVALID_URL);
            return;
        }
        UniqueInternetHandle connection = Connect(parts);
        if (!connection) {
            Fail(record, TransferStep::Connect);
            return;
        }
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        UniqueInternetHandle opened = OpenRequest(connection.Get(), parts, L"GET", acceptTypes, kFileRequestFlags);
        if (!opened) {
            Fail(record, TransferStep::OpenRequest);
            return;
        }
        const HINTERNET request = opened.Get();
        if (!Hold(std::move(opened))) {
            record.Failed(L"cancelled", 0);
            return;
        }
        AddReferer(request);
        // The rest of the file, if it is still the same file.
        std::wstring headers;
        if (m_from.offset > 0) {
            headers = L"Range: bytes=" + std::to_wstring(m_from.offset) + L"-\r\n";
            if (!m_from.validator.empty())
                headers += L"If-Range: " + m_from.validator + L"\r\n";
        }
        const bool sent = SendRequest(request, headers.empty() ? nullptr : headers.c_str(),
                                      static_cast<DWORD>(headers.size()), m_url);
        if (!sent && !IsAbandoned()) {
            Fail(record, TransferStep::SendRequest);
            CloseRequest();
            return;
        }
        if (IsAbandoned()) {
            record.Failed(L"cancelled", 0);
            return;
        }
        record.Answered(request);
        const std::uint64_t received = ReadBody(request);
        record.Received(received);
        if (IsAbandoned())
            record.Failed(L"cancelled", 0);
        else if (outcome.failure)
            record.Failed(StepName(TransferStep::ReadBody), outcome.failure.systemError
                                                                ? outcome.failure.systemError
                                                                : outcome.failure.httpStatus.value_or(0));
        else
            outcome.complete = true;
        CloseRequest(); // before the connection
    }

    // Reads the reply body into the file: from offset 0, or after the bytes
    // the file has when the server sends the rest of the file (206 from the
    // offset asked for). A whole body sent instead (200) starts the file and
    // the hash again. WinINet fills the buffer straight from its socket; a
    // filled buffer (or the last part of one) is written in one piece, on the
    // writer's thread while the next one fills. Nothing per read takes a lock
    // or waits on a kernel object: the pause and the abandonment are flags the
    // waiting thread sets.
    //
    // A read returns only when it has all the bytes it asked for (or the body
    // has ended), so the size asked for follows the line: it doubles while full
    // reads come back quickly and halves when a read takes long. A fast line is
    // read in the largest pieces with one call each. On a slow line (at the
    // start, and after a slow read) a read first asks how much has arrived and
    // takes no more, so that progress shows and a pause holds as the bytes come
    // in; a smallest read's worth of bytes found waiting ends that.
    //
    // A file never grows past the size limit (when given): a reply that
    // announces more is not read at all, and a body that goes on past it (no
    // length, or more than it announced) ends the transfer with the bytes up to
    // the limit. Returns the body bytes received; the outcome says the rest.
    std::uint64_t ReadBody(HINTERNET request)
    {
        TransferOutcome& outcome = state.outcome;
        const std::optional<DWORD> status = QueryStatusCode(request);
        if (!status) {
            outcome.failure = StepFailed(TransferStep::ReadBody, FailureCode());
            return 0;
        }
        outcome.status = status;
        outcome.validator = QueryValidator(request);
        outcome.retryAfterSeconds = QueryRetryAfter(request);
        const std::optional<std::uint64_t> announced = QueryContentLength(request);
        std::uint64_t startAt = 0;
        if (m_from.offset > 0 && *status == 206) {
            const std::optional<ContentRange> range = QueryContentRange(request);
            if (!range || range->first != m_from.offset) {
                // Not the part that was asked for.
                outcome.failure = ReplyFailed(FailureKind::BrokenBody, ERROR_HTTP_INVALID_SERVER_RESPONSE, status);
                return 0;
            }
            startAt = m_from.offset;
            outcome.totalSize = range->total;
        } else if (KindOfStatus(*status) != FailureKind::None || *status == 206) {
            // An error page is not the file that was asked for.
            const bool rangeRefused = m_from.offset > 0 && *status == 416;
            outcome.failure = ReplyFailed(rangeRefused ? FailureKind::RangeRefused
                                          : *status == 206 ? FailureKind::BrokenBody
                                                           : KindOfStatus(*status),
                                          0, status);
            return 0;
        } else {
            outcome.totalSize = announced;
            if (m_from.offset > 0) {
                const bool truncated = fence.IfOpen([&] {
                    m_file.Truncate(0);
                    if (m_hash)
                        m_hash->Reset();
                });
                if (!truncated)
                    return 0;
                outcome.restarted = true;
            }
        }
        outcome.fileSize = startAt;
        state.bytesInFile.store(startAt, std::memory_order_relaxed);
        if (m_sizeLimit && announced && startAt + *announced > *m_sizeLimit) {
            outcome.failure = ReplyFailed(FailureKind::TooLong, ERROR_FILE_TOO_LARGE, status);
            return 0;
        }

        BlockWriter writer(fence, m_file, kFileReadSize, startAt, m_hash);
        DWORD bufferUsed = 0;
        DWORD askSize = kFirstReadSize;
        bool slowLine = true;
        std::uint64_t received = 0;
        // The last hand-over to the writer, and the window the minimum speed is measured over.
        ULONGLONG handedOver = ::GetTickCount64();
        const DWORD speedWindow = g_minimumSpeedWindow;
        ULONGLONG windowStart = handedOver;
        std::uint64_t windowBytes = 0;
        for (;;) {
            if (IsAbandoned())
                return received;
            if (paused) {
                // Nothing is read while paused, and the pause does not count against the speed.
                ::Sleep(kPausedSleep);
                windowStart = ::GetTickCount64();
                windowBytes = received;
                continue;
            }
            DWORD asked = std::min(askSize, kFileReadSize - bufferUsed);
            if (slowLine) {
                DWORD available = 0;
                if (!::InternetQueryDataAvailable(request, &available, 0, 0)) {
                    outcome.failure = ReplyFailed(FailureKind::BrokenBody, FailureCode(), status);
                    break;
                }
                if (available == 0)
                    break; // end of the body
                // Bytes waiting beyond what a small read takes (WinINet may not say
                // more than its own buffer holds): the line keeps up.
                if (available >= std::min(asked, kSmallestReadSize))
                    slowLine = false;
                asked = std::min(asked, available);
            }
            const ULONGLONG before = ::GetTickCount64();
            DWORD read = 0;
            if (!::InternetReadFile(request, writer.Buffer() + bufferUsed, asked, &read)) {
                outcome.failure = ReplyFailed(FailureKind::BrokenBody, FailureCode(), status);
                break;
            }
            if (read == 0)
                break; // end of the body
            const ULONGLONG took = ::GetTickCount64() - before;
            if (took >= kSlowRead) {
                slowLine = true;
                askSize = std::max(askSize / 2, kSmallestReadSize);
            } else if (took <= kQuickRead && read == askSize) {
                askSize = std::min(askSize * 2, kFileReadSize);
            }
            if (m_sizeLimit && startAt + received + read > *m_sizeLimit) {
                const DWORD kept = static_cast<DWORD>(*m_sizeLimit - startAt - received);
                bufferUsed += kept;
                received += kept;
                outcome.failure = ReplyFailed(FailureKind::TooLong, ERROR_FILE_TOO_LARGE, status);
                state.bytesInFile.store(startAt + received, std::memory_order_relaxed);
                break;
            }
            bufferUsed += read;
            received += read;
            const ULONGLONG now = ::GetTickCount64();
            // A full buffer goes to the disk; on a slow line so does what came in
            // the last kFlushInterval, so that an ended run loses no more.
            if (bufferUsed == kFileReadSize || now - handedOver >= kFlushInterval) {
                if (!writer.Submit(bufferUsed))
                    break;
                bufferUsed = 0;
                handedOver = now;
            }
            state.bytesInFile.store(startAt + received, std::memory_order_relaxed);
            if (now - windowStart >= speedWindow) {
                if (received - windowBytes < kMinimumSpeedBytes) {
                    // A trickle that keeps the receive timeout from ever ending it.
                    outcome.failure = ReplyFailed(FailureKind::BrokenBody, ERROR_INTERNET_TIMEOUT, status);
                    break;
                }
                windowStart = now;
                windowBytes = received;
            }
        }
        if (bufferUsed > 0 && writer.WriteError() == 0)
            writer.Submit(bufferUsed);
        if (!writer.Finish()) {
            outcome.failure = LocalFileFailed(writer.WriteError());
            return received;
        }
        outcome.fileSize = startAt + received;
        if (!outcome.failure && announced && received != *announced)
            outcome.failure = ReplyFailed(FailureKind::BrokenBody, ERROR_INTERNET_CONNECTION_RESET, status);
        return received;
    }

    void Fail(RequestRecord& record, TransferStep step)
    {
        state.outcome.failure = StepFailed(step, ::GetLastError());
        record.Failed(StepName(step), state.outcome.failure.systemError);
    }

    const std::wstring m_url;
    CDownloadFile& m_file;
    const ResumePoint m_from;
    Sha256* const m_hash;
    const std::optional<std::uint64_t> m_sizeLimit;
};

// The error of a final report: the Windows error, else the reply's status.
DWORD ReportedError(const TransferFailure& failure) noexcept
{
    if (failure.step == TransferStep::None)
        return 0; // no request was made
    return failure.systemError ? failure.systemError : failure.httpStatus.value_or(0);
}

} // namespace

namespace {

// Under g_sessionLock.
void OpenSessionLocked()
{
    if (g_hInternet)
        return;
    const DWORD access = g_proxy.empty()         ? INTERNET_OPEN_TYPE_PRECONFIG
                         : g_proxy == L"direct" ? INTERNET_OPEN_TYPE_DIRECT
                                                : INTERNET_OPEN_TYPE_PROXY;
    // No bypass list: with a proxy of its own, the run sends every request through it.
    g_hInternet = ::InternetOpenW(kInternetAgent, access,
                                  access == INTERNET_OPEN_TYPE_PROXY ? g_proxy.c_str() : nullptr, nullptr, 0);
    if (g_hInternet)
        ApplyTimeouts(g_hInternet);
}

} // namespace

void SetCredentialsPrompt(CredentialsPrompt prompt) noexcept
{
    g_credentialsPrompt = prompt;
}

void UseProxy(std::wstring proxy)
{
    std::lock_guard lock(g_sessionLock);
    if (proxy == g_proxy)
        return;
    g_proxy = std::move(proxy);
    // The session opened at start-up, before any request, is opened again with it.
    if (g_hInternet) {
        UniqueInternetHandle before(std::exchange(g_hInternet, nullptr));
        before.Reset();
        OpenSessionLocked();
    }
}

bool OpenSession()
{
    std::lock_guard lock(g_sessionLock);
    OpenSessionLocked();
    return g_hInternet != nullptr;
}

void CloseSession()
{
    // Its requests' threads may still use it (walked away from, or closing a
    // held request): the session is closed only once they have ended, else it
    // is left to the end of the process (which ends those threads with it).
    // Once left, a later call does not wait again.
    static std::atomic<bool> leftOpen{false};
    if (!WaitForRequestThreads(leftOpen ? 0 : kSessionCloseWait)) {
        if (!leftOpen.exchange(true))
            Log(L"internet session left open for the end of the process: a request thread is still running");
        return;
    }
    leftOpen = false;
    std::lock_guard lock(g_sessionLock);
    UniqueInternetHandle session(std::exchange(g_hInternet, nullptr));
}

void SetMinimumSpeedWindow(DWORD milliseconds)
{
    g_minimumSpeedWindow = milliseconds;
}

void SetTransferTimeout(DWORD milliseconds)
{
    g_transferTimeout = milliseconds;
    std::lock_guard lock(g_sessionLock);
    if (g_hInternet)
        ApplyTimeouts(g_hInternet);
}

SizeReply QueryRemoteFile(const std::wstring& url, ICancelRequest* cancel)
{
    auto query = std::make_shared<SizeQuery>(url);
    if (!RunDetached(query, cancel, {})) {
        SizeReply cancelled;
        cancelled.cancelled = true;
        return cancelled;
    }
    return query->Reply();
}

std::int64_t QueryRemoteFileSize(const std::wstring& url, ICancelRequest* cancel)
{
    return QueryRemoteFile(url, cancel).size;
}

bool TransferToFile(ICancelRequest& cancel, const std::wstring& url, CDownloadFile& file, IDownloadCallback* callback,
                    const ResumePoint& from, Sha256* hash, TransferOutcome& outcome,
                    std::optional<std::uint64_t> sizeLimit)
{
    auto transfer = std::make_shared<FileTransfer>(url, file, from, hash, sizeLimit);
    // Whatever way this returns (an exception of the callback too), the
    // transfer's thread changes nothing of the file afterwards.
    struct FenceCloser {
        WriteFence& fence;
        ~FenceCloser() { fence.Close(); }
    } closer{transfer->fence};

    const TransferState& state = transfer->state;
    DownloadStatusInfo info;
    info.received = from.offset;
    ULONGLONG lastReported = ::GetTickCount64();
    auto report = [&] {
        info.status = Downloading;
        info.received = state.bytesInFile.load();
        if (callback)
            callback->OnStatus(info);
    };
    const bool ended = RunDetached(transfer, &cancel, [&] {
        const ULONGLONG now = ::GetTickCount64();
        if (now - lastReported >= kProgressInterval && state.bytesInFile.load() != info.received) {
            lastReported = now;
            report();
        }
    });
    // From here on nothing of the transfer's threads touches the file.
    transfer->fence.Close();
    outcome = TransferOutcome{};
    outcome.fileSize = from.offset;
    if (ended) {
        outcome = state.outcome;
        if (state.bytesInFile.load() != info.received)
            report(); // the end of the body
        info.errorCode = ReportedError(outcome.failure);
        info.message = StepReportText(outcome.failure.step);
    }

    if (cancel.IsCancelled()) {
        outcome.complete = false;
        outcome.cancelled = true;
        info.status = Cancelled;
        ::Sleep(kCancelledReportDelay);
    } else {
        info.status = Finished;
    }
    if (callback)
        callback->OnStatus(info);
    return outcome.complete;
}

bool DownloadToFile(ICancelRequest& cancel, const std::wstring& url, CDownloadFile& file,
                    IDownloadCallback* callback)
{
    TransferOutcome outcome;
    return TransferToFile(cancel, url, file, callback, ResumePoint{}, nullptr, outcome);
}

bool DownloadToStream(ICancelRequest& cancel, const std::wstring& url, IByteSink& stream, std::uint64_t maxBytes)
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
            record.Failed(StepName(TransferStep::Connect), FailureCode());
            return false;
        }
        const wchar_t* acceptTypes[] = {L"application/xml", L"*/*", nullptr};
        UniqueInternetHandle request = OpenRequest(connection.Get(), parts, L"GET", acceptTypes, kSmallRequestFlags);
        if (!request) {
            record.Failed(StepName(TransferStep::OpenRequest), FailureCode());
            return false;
        }
        AddReferer(request.Get());
        if (!SendRequest(request.Get(), kStreamRequestHeaders, std::size(kStreamRequestHeaders) - 1, url)) {
            record.Failed(StepName(TransferStep::SendRequest), FailureCode());
            return false;
        }
        if (cancel.IsCancelled())
            return false;
        record.Answered(request.Get());
        const std::optional<std::uint64_t> announced = QueryContentLength(request.Get());
        if (announced && *announced > maxBytes) {
            record.Failed(L"larger than a document may be", ERROR_FILE_TOO_LARGE);
            return false;
        }

        auto buffer = std::make_unique<char[]>(kStreamReadSize);
        std::uint64_t received = 0;
        bool broken = false;
        for (;;) {
            if (cancel.IsCancelled())
                break;
            DWORD read = 0;
            if (!::InternetReadFile(request.Get(), buffer.get(), kStreamReadSize, &read)) {
                broken = true;
                break;
            }
            if (read == 0)
                break;
            if (received + read > maxBytes) {
                record.Received(received);
                record.Failed(L"larger than a document may be", ERROR_FILE_TOO_LARGE);
                return false;
            }
            if (!stream.Write(buffer.get(), read)) {
                record.Received(received);
                record.Failed(L"the document could not be kept", ::GetLastError());
                return false;
            }
            received += read;
        }
        record.Received(received);
        if (cancel.IsCancelled())
            return false;
        // A document cut off (a broken connection, a silent server) is not the document.
        if (broken) {
            record.Failed(StepName(TransferStep::ReadBody), FailureCode());
            return false;
        }
        // An error page (a proxy's, a portal's, the server's own) is not the document.
        const std::optional<DWORD> status = QueryStatusCode(request.Get());
        if (!status || *status < 200 || *status > 299) {
            record.Failed(L"not a success status", status.value_or(0));
            return false;
        }
        return true;
    } catch (const std::exception&) {
        // Out of memory: the document did not arrive.
        return false;
    }
}

} // namespace kelm
