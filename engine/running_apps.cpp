#include "engine/running_apps.h"

#include "config/ui_strings.h"
#include "framework/handles.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "runlog/run_outcome.h"

namespace kelm {

const WatchedProgram g_watchedPrograms[2] = {
    {L"MirelleZunderInstance_80", L"Zunder Pro Video Editor 8.exe"},
    {L"MirelleZunderVRInstance_80", L"Zunder Pro Video Recorder 8.exe"},
};

std::vector<std::wstring> FindRunningApplications()
{
    std::vector<std::wstring> names;
    for (const WatchedProgram& program : g_watchedPrograms) {
        // Opened only to learn that it exists; any failure counts as not running.
        UniqueHandle semaphore(::OpenSemaphoreW(SYNCHRONIZE, FALSE, program.semaphoreName));
        if (semaphore)
            names.emplace_back(program.programName);
    }
    return names;
}

std::wstring FormatRunningApplicationsMessage(const std::wstring& intro, const std::vector<std::wstring>& names)
{
    std::wstring message = intro + L"\n\n";
    for (const std::wstring& name : names)
        message += name + L"\r\n";
    return message;
}

int32_t AskToCloseRunningApplications(const std::wstring& intro, const std::wstring& caption, HWND owner)
{
    for (;;) {
        std::vector<std::wstring> names = FindRunningApplications();
        if (names.empty())
            return 1;
        const std::wstring message = FormatRunningApplicationsMessage(intro, names);
        // A silent run cannot wait for anyone to close them: it gives up.
        if (ShowRunMessage(owner, message.c_str(), caption.c_str(), MB_ICONWARNING | MB_RETRYCANCEL, IDCANCEL) !=
            IDRETRY) {
            Log(L"running applications not closed: the installation does not start");
            RecordExitCode(ExitCode::Cancelled);
            return 0;
        }
    }
}

int32_t CheckRunningApplications(const std::wstring& caption, HWND owner)
{
    return AskToCloseRunningApplications(GetUiString(IDS_CLOSE_RUNNING_APPS), caption, owner);
}

} // namespace kelm
