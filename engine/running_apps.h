#pragma once
// The product's own programs must not run while it is installed. Each keeps a
// named semaphore open while it runs; the check only tests whether the names exist.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelm {

struct WatchedProgram {
    const wchar_t* semaphoreName;
    const wchar_t* programName;
};
extern const WatchedProgram g_watchedPrograms[2];

// Names of the watched programs that run now, in table order.
std::vector<std::wstring> FindRunningApplications();

// `intro`, a blank line, then every name followed by a line break.
std::wstring FormatRunningApplicationsMessage(const std::wstring& intro, const std::vector<std::wstring>& names);

// Asks with Retry/Cancel until no watched program runs (non-zero) or the user gives up (0).
int32_t AskToCloseRunningApplications(const std::wstring& intro, const std::wstring& caption, HWND owner);

// The same with the localised request text.
int32_t CheckRunningApplications(const std::wstring& caption, HWND owner);

} // namespace kelm
