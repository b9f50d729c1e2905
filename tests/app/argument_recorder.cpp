// Test helper: writes the arguments it was started with (after the program
// path), one per line in UTF-8, to the file named by KELM_RECORDER_OUTPUT.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int main()
{
    wchar_t outputPath[MAX_PATH]{};
    if (::GetEnvironmentVariableW(L"KELM_RECORDER_OUTPUT", outputPath, MAX_PATH) == 0)
        return 2;
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr)
        return 3;
    std::string text;
    for (int i = 1; i < count; ++i) {
        int size = ::WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1)
            ::WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, argument.data(), size, nullptr, nullptr);
        text += argument + "\n";
    }
    ::LocalFree(arguments);
    // Written under a temporary name and renamed, so a reader never sees half a file.
    std::wstring partial = std::wstring(outputPath) + L".part";
    FILE* file = _wfopen(partial.c_str(), L"wb");
    if (file == nullptr)
        return 4;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return ::MoveFileExW(partial.c_str(), outputPath, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
