/* A canary DLL under the name of a DLL that the installer or the system loads:
   put beside the installer (or in its download folder), it appends
   "<its own path> in <the program's path>" to the file that the environment
   variable KELM_CANARY_LOG names as soon as anything loads it. It exports one
   function, KelmCanaryProbe, which the control program imports. */
#include <windows.h>

__declspec(dllexport) int KelmCanaryProbe(void)
{
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t logPath[MAX_PATH] = {0};
    wchar_t self[MAX_PATH] = {0};
    wchar_t program[MAX_PATH] = {0};
    wchar_t line[3 * MAX_PATH] = {0};
    if (GetEnvironmentVariableW(L"KELM_CANARY_LOG", logPath, MAX_PATH) == 0)
        return TRUE;
    GetModuleFileNameW(instance, self, MAX_PATH);
    GetModuleFileNameW(NULL, program, MAX_PATH);
    lstrcpyW(line, self);
    lstrcatW(line, L" in ");
    lstrcatW(line, program);
    lstrcatW(line, L"\n");
    char utf8[4 * 3 * MAX_PATH];
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, (int)sizeof utf8, NULL, NULL);
    HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (size > 1)
            WriteFile(log, utf8, (DWORD)(size - 1), &written, NULL);
        CloseHandle(log);
    }
    return TRUE;
}
