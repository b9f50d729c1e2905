#pragma once
// The command-line options: "/s" silent run, "/n" no client check, "/l" start the
// product after installing, "/lang <value>", "/log <path>", "/proxy <host:port or
// direct>". Each option is a whole argument,
// compared exactly and case-sensitively; anything else is ignored. An option's
// value is the following argument, empty when there is none, when it is empty
// or when it begins with a backslash. The following argument is not consumed:
// it is looked at as an option too ("/lang /s" records "/s" and runs silently).
// "/log" takes the following argument as it stands (a path on a share begins
// with backslashes); without one the run logs to its default place.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelm {

struct CommandLineOptions {
    int32_t silent = 0;              // "/s"
    int32_t skipClientCheck = 0;     // "/n"
    int32_t launchAfterInstall = 0;  // "/l"
    std::wstring requestedLanguage;  // "/lang"
    std::wstring logPath;            // "/log"; empty: the default log
    std::wstring proxy;              // "/proxy": "host:port" or "direct"; empty: the system's settings
    std::wstring refusedProxy;       // a "/proxy" value that is no host[:port] (not used, not passed on)
};

// A proxy's address as "/proxy" takes it: a host name, an IPv4 or bracketed
// IPv6 address, an optional port; or "direct". Nothing that could break out of
// the quotes of a newer client's command line.
bool IsProxyAddress(const std::wstring& value);

// The parameters a newer client is started with: "/n" for an interactive run;
// a silent run passes "/s" on too, and "/l", "/log <path>" and "/proxy <value>"
// when it had them.
std::wstring NewClientParameters(const CommandLineOptions& options);

// Scans every argument from index 0 (the program path, which never matches).
CommandLineOptions ParseCommandLine(std::span<const std::wstring> arguments);

// The process's arguments, split as the system splits them.
std::vector<std::wstring> ProcessArguments();

} // namespace kelm
