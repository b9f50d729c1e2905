#pragma once
// Starting a newer installer client that the client check downloaded: at exit,
// with "/n" so that it skips the client check (a silent run adds its own options,
// NewClientParameters in command_line.h).

#include <string>

#include "config/client_validator.h"

namespace kelm {

enum class NewClientStart {
    NotRequested, // outcome other than RunNewClient, or no path
    Missing,      // the downloaded file does not exist
    Started,
    Failed,       // the shell could not start it
};

NewClientStart StartNewClient(ClientCheckOutcome checkOutcome, const std::wstring& newClientPath,
                              const std::wstring& parameters = L"/n") noexcept;

} // namespace kelm
