#pragma once
// Test-side access to the loopback test server (loopback_server.py) that the
// CTest fixture "loopback_server" starts: its addresses, its scripted routes,
// its request log and its served folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelm::test {

// One request as the server saw it.
struct LoggedRequest {
    std::string server;  // "http", "https", "https_self_signed", ...
    int clientPort = 0;  // tells connections apart
    std::string method;
    std::string target;  // path with query
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;

    // Value of the first header of that name (any case), or empty.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class LoopbackServer {
public:
    // The running server of this build folder; IsReady() is false (and Problem()
    // says why) when the fixture did not start it.
    static const LoopbackServer& Get();

    bool IsReady() const { return m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }

    // "http://127.0.0.1:<port><path>" for "http"; "https://localhost:<port><path>"
    // for "https" (trusted), "https_self_signed", "https_wrong_name", "https_expired".
    std::wstring Url(std::string_view path, std::string_view server = "http") const;
    int Port(std::string_view server) const;

    // Installs routes: a JSON object or array of objects (see README.md).
    bool AddRoutes(const std::string& json) const;
    // Forgets the routes and log entries whose path starts with prefix.
    bool Reset(const std::string& prefix) const;
    // As a proxy, ask for these Basic credentials ("user:password") before
    // serving a request; empty: serve every request.
    bool RequireProxyCredentials(const std::string& userAndPassword) const;
    // The logged requests whose path starts with prefix, oldest first.
    std::vector<LoggedRequest> Requests(const std::string& prefix) const;

    // The served folder as a Windows path (with a trailing backslash).
    std::wstring RootFolder() const { return m_root; }
    // Puts a file into the served folder (creating its folders), reachable at "/<name>".
    bool PutFile(const std::string& name, const std::string& bytes) const;

private:
    LoopbackServer();
    bool Control(const wchar_t* verb, const std::string& target, const std::string& body,
                 std::string* answer) const;

    std::string m_problem;
    std::vector<std::pair<std::string, int>> m_ports;
    std::wstring m_root;
};

// The server's "body_size" bytes: 4-byte little-endian words counting up from seed.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 0);
// A Unix path of the build machine as Wine sees it (drive Z:).
std::wstring UnixPathToWindows(std::string_view unixPath);
// The whole content of a file, or nothing (ok false) when it cannot be read.
std::string ReadWholeFile(const std::wstring& path, bool* ok = nullptr);

} // namespace kelm::test
