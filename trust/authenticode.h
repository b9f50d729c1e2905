#pragma once
// Authenticode signatures of EXE and MSI files, checked by the system's trust
// provider (WinVerifyTrust with the generic verification action, no user
// interface, no network look-ups) on an open handle, so that the bytes checked
// are the bytes of the file the caller holds and goes on to use.

#include <windows.h>

#include <string>

namespace kelm {

enum class SignatureState {
    Valid,    // signed, the digest matches, the chain is trusted
    Unsigned, // no signature at all
    Invalid,  // a signature that the system does not accept (changed file, untrusted root, ...)
};

struct SignatureCheck {
    SignatureState state = SignatureState::Unsigned;
    LONG status = 0;    // WinVerifyTrust's result
    std::wstring signer; // common name of the signing certificate's subject (Valid only)
};

// Checks the file open as `file` (read access); `path` names it for the trust
// provider's choice of file type and for the log.
SignatureCheck CheckAuthenticode(HANDLE file, const std::wstring& path);

// The signer of the running program, read from its own file once; empty when
// it is not validly signed (a development build) or cannot be read.
const std::wstring& OwnSignerName() noexcept;

// "signed by <name>", "not signed", "its signature is not valid (0x...)".
std::wstring DescribeSignature(const SignatureCheck& check);

} // namespace kelm
