#include "app/new_client.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "runlog/run_log.h"

namespace kelm {

NewClientStart StartNewClient(ClientCheckOutcome checkOutcome, const std::wstring& newClientPath,
                              const std::wstring& parameters) noexcept
{
    if (checkOutcome != ClientCheckOutcome::RunNewClient || newClientPath.empty())
        return NewClientStart::NotRequested;
    if (!::PathFileExistsW(newClientPath.c_str())) {
        Log(L"the newer client ", newClientPath, L" is missing");
        return NewClientStart::Missing;
    }
    Log(L"starting the newer client ", newClientPath, L" ", parameters);
    HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", newClientPath.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    const bool started = reinterpret_cast<INT_PTR>(result) > 32;
    if (!started)
        Log(L"the newer client could not be started (", static_cast<int32_t>(reinterpret_cast<INT_PTR>(result)), L")");
    return started ? NewClientStart::Started : NewClientStart::Failed;
}

} // namespace kelm
