#pragma once
// Starting a newer installer client that the client check downloaded and
// admitted: at exit, with "/n" so that it skips the client check (a silent run
// adds its own options, NewClientParameters in command_line.h). The client is
// held from its check until it has been started.

#include <string>

#include "config/client_validator.h"
#include "trust/trusted_file.h"

namespace kelm {

enum class NewClientStart {
    NotRequested, // outcome other than RunNewClient, or no admitted client
    Started,
    Failed,       // the shell could not start it
};

NewClientStart StartNewClient(ClientCheckOutcome checkOutcome, const TrustedFile& newClient,
                              const std::wstring& parameters = L"/n") noexcept;

} // namespace kelm
