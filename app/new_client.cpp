#include "app/new_client.h"

#include <windows.h>
#include <shellapi.h>

#include "runlog/run_log.h"

namespace kelm {

NewClientStart StartNewClient(ClientCheckOutcome checkOutcome, const TrustedFile& newClient,
                              const std::wstring& parameters) noexcept
{
    if (checkOutcome != ClientCheckOutcome::RunNewClient || !newClient)
        return NewClientStart::NotRequested;
    Log(L"starting the newer client ", newClient.Path(), L" ", parameters);
    HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", newClient.Path().c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    const bool started = reinterpret_cast<INT_PTR>(result) > 32;
    if (!started)
        Log(L"the newer client could not be started (", static_cast<int32_t>(reinterpret_cast<INT_PTR>(result)), L")");
    return started ? NewClientStart::Started : NewClientStart::Failed;
}

} // namespace kelm
