#pragma once
// The log of one run: a UTF-8 text file, one line per step, each line stamped
// with the local time and the thread. Support engineers read it after a silent
// deployment; it never decides anything. A log that cannot be written (no
// folder, no disk space, no rights) is simply not written: the installation
// goes on, and every call here stays harmless.
//
// Threads: any thread may write to it; each line is written whole under the
// log's one lock.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace kelm {

// Opens the log at `path` ("/log"), created when missing, appended to otherwise;
// an existing file must be a plain file of its own (not a link, a folder or a
// second name of another file), or the run has no log (the debugger output says
// why). False when there is no log; any open log is closed first.
bool OpenRunLog(const std::wstring& path) noexcept;
// Creates a new log in the temporary folder, DefaultRunLogPath with a random
// part before ".log": never a file that was there before, never through a link.
bool OpenNewRunLog() noexcept;
// Closes the log; later lines go nowhere.
void CloseRunLog() noexcept;
// The path of the open log, or empty.
std::wstring RunLogPath();
// %TEMP%\KelmWebInstaller_<yyyymmdd-hhmmss>.log for the current local time.
std::wstring DefaultRunLogPath();
// Where the Windows Installer's own verbose log of one package goes: beside the
// run's log, "<log>.msi-<package>.log"; empty when the run has no log.
std::wstring PackageInstallerLogPath(const std::wstring& packageName);

// Appends one line. Thread-safe; line breaks inside `text` are written as " | ".
void LogLine(std::wstring_view text) noexcept;

namespace detail {
inline void AppendPart(std::wstring& line, std::wstring_view part) { line.append(part); }
inline void AppendPart(std::wstring& line, const wchar_t* part) { line.append(part ? part : L"(null)"); }
inline void AppendPart(std::wstring& line, const std::wstring& part) { line.append(part); }
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
void AppendPart(std::wstring& line, Number number)
{
    line.append(std::to_wstring(number));
}
} // namespace detail

// A line made of its parts: texts as they stand, numbers in decimal.
template <typename... Parts>
void Log(const Parts&... parts) noexcept
{
    try {
        std::wstring line;
        (detail::AppendPart(line, parts), ...);
        LogLine(line);
    } catch (...) {
        // Out of memory: the line is lost, the run is not.
    }
}

} // namespace kelm
