#include "support/loopback_server.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kelm::test {

namespace {

std::wstring Widen(std::string_view text)
{
    return std::wstring(text.begin(), text.end());
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return tolower(x) == tolower(y); });
}

// Just enough JSON reading for the server's info file: "key": "text" and "key": number.
std::string JsonText(const std::string& json, const std::string& key)
{
    const size_t at = json.find("\"" + key + "\": \"");
    if (at == std::string::npos)
        return {};
    const size_t start = at + key.size() + 5;
    return json.substr(start, json.find('"', start) - start);
}

int JsonNumber(const std::string& json, const std::string& key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? 0 : std::atoi(json.c_str() + at + key.size() + 4);
}

struct InternetHandle {
    HINTERNET handle;
    ~InternetHandle()
    {
        if (handle)
            InternetCloseHandle(handle);
    }
};

} // namespace

std::string LoggedRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (EqualNoCase(key, name))
            return value;
    return {};
}

bool LoggedRequest::HasHeader(std::string_view name) const
{
    return std::any_of(headers.begin(), headers.end(), [&](const auto& header) { return EqualNoCase(header.first, name); });
}

std::wstring UnixPathToWindows(std::string_view unixPath)
{
    std::wstring path = L"Z:" + Widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::string ReadWholeFile(const std::wstring& path, bool* ok)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (ok)
        *ok = static_cast<bool>(in);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string PatternBytes(std::size_t size, std::uint32_t seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint32_t word = seed + static_cast<std::uint32_t>(i / 4);
        bytes[i] = static_cast<char>((word >> (8 * (i % 4))) & 0xFF);
    }
    return bytes;
}

const LoopbackServer& LoopbackServer::Get()
{
    static const LoopbackServer server;
    return server;
}

LoopbackServer::LoopbackServer()
{
    const char* buildDir = std::getenv("KELM_BUILD_DIR");
    if (!buildDir) {
        m_problem = "KELM_BUILD_DIR is not set: run the test through tests/harness/wine-run.sh";
        return;
    }
    bool ok = false;
    const std::string info = ReadWholeFile(UnixPathToWindows(std::string(buildDir) + "/harness/loopback-server.json"), &ok);
    if (!ok || info.empty()) {
        m_problem = "the loopback server is not running (CTest fixture loopback_server)";
        return;
    }
    for (const char* name : {"http", "https", "https_self_signed", "https_wrong_name", "https_expired"})
        m_ports.emplace_back(name, JsonNumber(info, name));
    m_root = UnixPathToWindows(JsonText(info, "root")) + L"\\";
}

int LoopbackServer::Port(std::string_view server) const
{
    for (const auto& [name, port] : m_ports)
        if (name == server)
            return port;
    return 0;
}

std::wstring LoopbackServer::Url(std::string_view path, std::string_view server) const
{
    const std::wstring host = server == "http" ? L"http://127.0.0.1:" : L"https://localhost:";
    return host + std::to_wstring(Port(server)) + Widen(path);
}

bool LoopbackServer::Control(const wchar_t* verb, const std::string& target, const std::string& body,
                             std::string* answer) const
{
    InternetHandle session{InternetOpenW(L"kelm-test-control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)};
    if (!session.handle)
        return false;
    InternetHandle connection{InternetConnectW(session.handle, L"127.0.0.1", static_cast<INTERNET_PORT>(Port("http")),
                                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)};
    if (!connection.handle)
        return false;
    InternetHandle request{HttpOpenRequestW(connection.handle, verb, Widen(target).c_str(), nullptr, nullptr, nullptr,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)};
    if (!request.handle)
        return false;
    if (!HttpSendRequestW(request.handle, nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size())))
        return false;
    DWORD status = 0;
    DWORD length = sizeof(status);
    HttpQueryInfoW(request.handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr);
    std::string text;
    char buffer[16384];
    DWORD read = 0;
    while (InternetReadFile(request.handle, buffer, sizeof(buffer), &read) && read > 0)
        text.append(buffer, read);
    if (answer)
        *answer = std::move(text);
    return status == 200;
}

bool LoopbackServer::AddRoutes(const std::string& json) const
{
    return IsReady() && Control(L"POST", "/_control/routes", json, nullptr);
}

bool LoopbackServer::Reset(const std::string& prefix) const
{
    return IsReady() && Control(L"POST", "/_control/reset?prefix=" + prefix, {}, nullptr);
}

bool LoopbackServer::RequireProxyCredentials(const std::string& userAndPassword) const
{
    return IsReady() && Control(L"POST", "/_control/proxy_credentials?value=" + userAndPassword, {}, nullptr);
}

std::vector<LoggedRequest> LoopbackServer::Requests(const std::string& prefix) const
{
    std::vector<LoggedRequest> requests;
    std::string text;
    if (!IsReady() || !Control(L"GET", "/_control/log?prefix=" + prefix, {}, &text))
        return requests;
    std::istringstream lines(text);
    std::string line;
    LoggedRequest* current = nullptr;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) {
            current = nullptr;
        } else if (!current) {
            LoggedRequest& request = requests.emplace_back();
            std::istringstream first(line);
            first >> request.server >> request.clientPort >> request.method >> request.target >> request.version;
            current = &request;
        } else {
            const size_t colon = line.find(": ");
            current->headers.emplace_back(line.substr(0, colon),
                                          colon == std::string::npos ? std::string() : line.substr(colon + 2));
        }
    }
    return requests;
}

bool LoopbackServer::PutFile(const std::string& name, const std::string& bytes) const
{
    if (!IsReady())
        return false;
    std::wstring path = m_root + Widen(name);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    for (size_t slash = path.find(L'\\', m_root.size()); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace kelm::test
