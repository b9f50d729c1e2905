#pragma once
// Starting a newer installer client that the client check downloaded: at exit,
// with "/n" so that it skips the client check (a silent run adds its own options,
// NewClientParameters in command_line.h).

#include <cstdint>
#include <string>

namespace kelm {

// What the client check decided (m_nCheckOutcome of the client-update dialog).
enum class ClientCheckOutcome : int32_t {
    Continue = 0,
    Stop = 1,
    RunNewClient = 2,
};

enum class NewClientStart {
    NotRequested, // outcome other than RunNewClient, or no path
    Missing,      // the downloaded file does not exist
    Started,
    Failed,       // the shell could not start it
};

NewClientStart StartNewClient(int32_t checkOutcome, const std::wstring& newClientPath,
                              const std::wstring& parameters = L"/n") noexcept;

} // namespace kelm
