#include "trust/authenticode.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>

#include "framework/handles.h"
#include "framework/module_path.h"
#include "framework/system_library.h"
#include "runlog/run_log.h"

namespace kelm {

namespace {

using WinVerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProviderDataFunction = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using SignerFunction = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using NameFunction = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// The trust provider's functions, from the system folder only.
struct TrustFunctions {
    WinVerifyTrustFunction verify = nullptr;
    ProviderDataFunction providerData = nullptr;
    SignerFunction signer = nullptr;
    NameFunction name = nullptr;

    bool Complete() const noexcept { return verify && providerData && signer && name; }
};

const TrustFunctions& Functions()
{
    static const TrustFunctions functions = [] {
        TrustFunctions found;
        const HMODULE wintrust = SystemLibrary(L"wintrust.dll");
        const HMODULE crypt32 = SystemLibrary(L"crypt32.dll");
        if (wintrust && crypt32) {
            found.verify = SystemFunction<WinVerifyTrustFunction>(wintrust, "WinVerifyTrust");
            found.providerData = SystemFunction<ProviderDataFunction>(wintrust, "WTHelperProvDataFromStateData");
            found.signer = SystemFunction<SignerFunction>(wintrust, "WTHelperGetProvSignerFromChain");
            found.name = SystemFunction<NameFunction>(crypt32, "CertGetNameStringW");
        }
        return found;
    }();
    return functions;
}

std::wstring SignerName(const TrustFunctions& functions, HANDLE stateData)
{
    CRYPT_PROVIDER_DATA* provider = functions.providerData(stateData);
    if (!provider)
        return {};
    CRYPT_PROVIDER_SGNR* signer = functions.signer(provider, 0, FALSE, 0);
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
        return {};
    wchar_t name[256] = {};
    const DWORD length = functions.name(signer->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                                        const_cast<char*>(szOID_COMMON_NAME), name, 256);
    return length > 1 ? std::wstring(name) : std::wstring();
}

} // namespace

SignatureCheck CheckAuthenticode(HANDLE file, const std::wstring& path)
{
    SignatureCheck check;
    const TrustFunctions& functions = Functions();
    if (!functions.Complete()) {
        check.state = SignatureState::Invalid;
        check.status = static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
        return check;
    }
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // A revocation look-up would go to the network, which may hang behind a
    // proxy; the digest and the chain to a trusted root are what is checked.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    check.status = functions.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (check.status == ERROR_SUCCESS) {
        check.signer = SignerName(functions, data.hWVTStateData);
        // A signature whose signer cannot be named vouches for nobody.
        check.state = check.signer.empty() ? SignatureState::Invalid : SignatureState::Valid;
    } else {
        check.state = check.status == static_cast<LONG>(TRUST_E_NOSIGNATURE) ? SignatureState::Unsigned
                                                                            : SignatureState::Invalid;
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    functions.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return check;
}

const std::wstring& OwnSignerName() noexcept
{
    static const std::wstring signer = []() noexcept {
        try {
            const std::wstring path = CurrentModulePath();
            UniqueFile own(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!own)
                return std::wstring();
            const SignatureCheck check = CheckAuthenticode(own.Get(), path);
            Log(L"this installer ", path, L": ", DescribeSignature(check));
            return check.state == SignatureState::Valid ? check.signer : std::wstring();
        } catch (...) {
            return std::wstring(); // out of memory: no signer, so no newer client is admitted
        }
    }();
    return signer;
}

std::wstring DescribeSignature(const SignatureCheck& check)
{
    switch (check.state) {
    case SignatureState::Valid:
        return L"signed by \"" + check.signer + L"\"";
    case SignatureState::Unsigned:
        return L"not signed";
    case SignatureState::Invalid:
        break;
    }
    wchar_t status[16] = {};
    std::swprintf(status, 16, L"0x%08lX", static_cast<unsigned long>(check.status));
    return std::wstring(L"its signature is not valid (") + status + L")";
}

} // namespace kelm
