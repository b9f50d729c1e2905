#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>

namespace kelm {

namespace {

struct OptionHandler {
    const wchar_t* name;
    std::function<void(const std::wstring& value)> apply;
};

std::wstring OptionValue(std::span<const std::wstring> arguments, size_t optionIndex)
{
    if (optionIndex + 1 >= arguments.size())
        return {};
    const std::wstring& next = arguments[optionIndex + 1];
    if (next.empty() || next.front() == L'\\')
        return {};
    return next;
}

} // namespace

CommandLineOptions ParseCommandLine(std::span<const std::wstring> arguments)
{
    CommandLineOptions options;
    const OptionHandler table[] = {
        {L"/s", [&](const std::wstring&) { options.silent = 1; }},
        {L"/n", [&](const std::wstring&) { options.skipClientCheck = 1; }},
        {L"/l", [&](const std::wstring&) { options.launchAfterInstall = 1; }},
        {L"/lang", [&](const std::wstring& value) { options.requestedLanguage = value; }},
        {L"/proxy",
         [&](const std::wstring& value) {
             options.proxy = IsProxyAddress(value) ? value : std::wstring();
             options.refusedProxy = IsProxyAddress(value) ? std::wstring() : value;
         }},
    };
    for (size_t index = 0; index < arguments.size(); ++index) {
        if (arguments[index] == L"/log") {
            if (index + 1 < arguments.size())
                options.logPath = arguments[index + 1];
            continue;
        }
        for (const OptionHandler& option : table) {
            if (arguments[index] == option.name) {
                option.apply(OptionValue(arguments, index));
                break;
            }
        }
    }
    return options;
}

bool IsProxyAddress(const std::wstring& value)
{
    if (value.empty() || value.size() > 255)
        return false;
    for (const wchar_t c : value) {
        const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                             c == L'.' || c == L'-' || c == L'_' || c == L':' || c == L'[' || c == L']';
        if (!allowed)
            return false;
    }
    return true;
}

std::wstring NewClientParameters(const CommandLineOptions& options)
{
    std::wstring parameters = L"/n";
    if (!options.silent)
        return parameters;
    parameters += L" /s";
    if (options.launchAfterInstall)
        parameters += L" /l";
    // A path that could break out of the quotes stays this run's.
    if (!options.logPath.empty() && options.logPath.find(L'"') == std::wstring::npos && options.logPath.back() != L'\\')
        parameters += L" /log \"" + options.logPath + L"\"";
    if (!options.proxy.empty())
        parameters += L" /proxy \"" + options.proxy + L"\"";
    return parameters;
}

std::vector<std::wstring> ProcessArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* split = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (split == nullptr)
        return arguments;
    try {
        arguments.assign(split, split + count);
    } catch (...) {
        arguments.clear();
    }
    ::LocalFree(split);
    return arguments;
}

} // namespace kelm
