// rand_s (the system's random numbers) is declared only when asked for before the first header.
#define _CRT_RAND_S
#include "runlog/run_log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "framework/handles.h"
#include "framework/slim_lock.h"

namespace kelm {

namespace {

constinit SlimLock g_logLock;
UniqueFile g_logFile;
std::wstring g_logPath;

std::string ToUtf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                              nullptr);
    return utf8;
}

std::string Stamp()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%04lx] ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  static_cast<unsigned long>(::GetCurrentThreadId()));
    return stamp;
}

// Caller holds the lock.
void WriteLocked(std::wstring_view text)
{
    if (!g_logFile)
        return;
    std::wstring flat;
    flat.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            while (i + 1 < text.size() && (text[i + 1] == L'\r' || text[i + 1] == L'\n'))
                ++i;
            if (i + 1 < text.size())
                flat.append(L" | ");
        } else {
            flat.push_back(text[i]);
        }
    }
    const std::string line = Stamp() + ToUtf8(flat) + "\r\n";
    DWORD written = 0;
    // Written at once, so the lines before a crash are on disk.
    ::WriteFile(g_logFile.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

namespace {

// Takes file as the run's log, at path. Under the log's lock.
bool UseLogFile(UniqueFile file, const std::wstring& path)
{
    if (!file)
        return false;
    g_logFile = std::move(file);
    g_logPath = path;
    return true;
}

// A random part for a log's name: nobody can make the file in its place beforehand.
std::wstring RandomTag()
{
    unsigned int number = 0;
    if (rand_s(&number) != 0)
        number = static_cast<unsigned int>(::GetTickCount64() ^ ::GetCurrentProcessId());
    wchar_t tag[16];
    std::swprintf(tag, 16, L"%08x", number);
    return tag;
}

} // namespace

bool OpenRunLog(const std::wstring& path) noexcept
{
    try {
        std::lock_guard hold(g_logLock);
        g_logFile.Reset();
        g_logPath.clear();
        if (path.empty())
            return false;
        // Appended to, and shared: a newer client started by this run writes to the
        // same log while this one ends; a support engineer can follow it meanwhile.
        // The name itself is opened, not what a link there points to.
        UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!file || !::GetFileInformationByHandle(file.Get(), &information))
            return false;
        // Only a plain file of its own: not a link to another file, not a second
        // name of one (whatever the elevated run writes lands where the name says).
        // The name's own attributes as well: they tell a link where the handle may not.
        const DWORD named = ::GetFileAttributesW(path.c_str());
        const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
        if ((information.dwFileAttributes & notPlain) != 0 || information.nNumberOfLinks > 1 ||
            (named != INVALID_FILE_ATTRIBUTES && (named & notPlain) != 0)) {
            ::OutputDebugStringW((L"KelmWebInstaller: " + path +
                                  L" is not a plain file of its own (a link or a second name): the run has no log\r\n")
                                     .c_str());
            return false;
        }
        return UseLogFile(std::move(file), path);
    } catch (...) {
        return false;
    }
}

bool OpenNewRunLog() noexcept
{
    try {
        std::lock_guard hold(g_logLock);
        g_logFile.Reset();
        g_logPath.clear();
        const std::wstring stem = DefaultRunLogPath();
        if (stem.empty())
            return false;
        // A file made now: never one that was there, never through a link.
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::wstring path = stem.substr(0, stem.size() - 4) + L"_" + RandomTag() + L".log";
            UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file)
                return UseLogFile(std::move(file), path);
            if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    } catch (...) {
        return false;
    }
}

void CloseRunLog() noexcept
{
    std::lock_guard hold(g_logLock);
    g_logFile.Reset();
}

std::wstring RunLogPath()
{
    std::lock_guard hold(g_logLock);
    return g_logFile ? g_logPath : std::wstring();
}

std::wstring DefaultRunLogPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return {};
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t name[64];
    std::swprintf(name, 64, L"KelmWebInstaller_%04u%02u%02u-%02u%02u%02u.log", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return std::wstring(temp) + name;
}

std::wstring PackageInstallerLogPath(const std::wstring& packageName)
{
    const std::wstring log = RunLogPath();
    return log.empty() ? std::wstring() : log + L".msi-" + packageName + L".log";
}

void LogLine(std::wstring_view text) noexcept
{
    try {
        std::lock_guard hold(g_logLock);
        WriteLocked(text);
    } catch (...) {
        // Out of memory: the line is lost, the run is not.
    }
}

} // namespace kelm
