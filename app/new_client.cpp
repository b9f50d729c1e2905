#include "app/new_client.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace kelm {

NewClientStart StartNewClient(int32_t checkOutcome, const std::wstring& newClientPath) noexcept
{
    if (checkOutcome != static_cast<int32_t>(ClientCheckOutcome::RunNewClient) || newClientPath.empty())
        return NewClientStart::NotRequested;
    if (!::PathFileExistsW(newClientPath.c_str()))
        return NewClientStart::Missing;
    HINSTANCE result = ::ShellExecuteW(nullptr, L"open", newClientPath.c_str(), L"/n", nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32 ? NewClientStart::Started : NewClientStart::Failed;
}

} // namespace kelm
