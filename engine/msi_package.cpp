#include "engine/msi_package.h"

#include "config/decimal.h"
#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "framework/app.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"

#include <msi.h>
#include <shlwapi.h>

#include <cwctype>
#include <string_view>

namespace kelm {

namespace {

// Message kinds the handler is given; files-in-use and install start are left out.
constexpr DWORD kHandlerMessageFilter =
    INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER |
    INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE | INSTALLLOGMODE_OUTOFDISKSPACE |
    INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_PROGRESS |
    INSTALLLOGMODE_COMMONDATA | INSTALLLOGMODE_INITIALIZE | INSTALLLOGMODE_TERMINATE |
    INSTALLLOGMODE_SHOWDIALOG | INSTALLLOGMODE_INSTALLEND;
static_assert(kHandlerMessageFilter == 0x08007FDF);

constexpr wchar_t kReinstallCommandLine[] = L"REINSTALL=ALL REINSTALLMODE=vomus REBOOT=ReallySuppress";
constexpr std::wstring_view kPropertyPrefix = L"Property(S):";
constexpr std::wstring_view kHomePagePrefix = L"InstallHomepageURL =";

void WriteDebugLine(const std::wstring& line)
{
    ::OutputDebugStringW(line.c_str());
}

std::wstring_view Trim(std::wstring_view text)
{
    while (!text.empty() && std::iswspace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

const wchar_t* InstallerMessageKindName(UINT kind)
{
    switch (kind) {
    case INSTALLMESSAGE_FATALEXIT:
        return L"fatal exit";
    case INSTALLMESSAGE_ERROR:
        return L"error";
    case INSTALLMESSAGE_WARNING:
        return L"warning";
    case INSTALLMESSAGE_USER:
        return L"user";
    case INSTALLMESSAGE_INFO:
        return L"info";
    case INSTALLMESSAGE_RESOLVESOURCE:
        return L"resolve source";
    case INSTALLMESSAGE_OUTOFDISKSPACE:
        return L"out of disk space";
    case INSTALLMESSAGE_ACTIONSTART:
        return L"action start";
    case INSTALLMESSAGE_ACTIONDATA:
        return L"action data";
    case INSTALLMESSAGE_COMMONDATA:
        return L"common data";
    case INSTALLMESSAGE_INITIALIZE:
        return L"initialize";
    case INSTALLMESSAGE_TERMINATE:
        return L"terminate";
    case INSTALLMESSAGE_SHOWDIALOG:
        return L"show dialog";
    case INSTALLMESSAGE_INSTALLEND:
        return L"install end";
    default:
        return L"other";
    }
}

// The answer that ends an installer error when nobody can be asked.
int AbortingAnswer(UINT boxFlags)
{
    switch (boxFlags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_OKCANCEL:
    case MB_RETRYCANCEL:
    case MB_YESNOCANCEL:
    case MB_CANCELTRYCONTINUE:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

} // namespace

std::wstring MakeMsiCommandLine(bool productInstalled, bool relatedProductInstalled,
                                const std::wstring& installFolder)
{
    if (productInstalled)
        return kReinstallCommandLine;
    if (installFolder.empty() || !::PathFileExistsW(installFolder.c_str()))
        return {};
    std::wstring folder = installFolder;
    if (!relatedProductInstalled) {
        // A drive root keeps its backslash ("C:\"), as PathRemoveBackslashW does it.
        if (folder.size() > 1 && folder.back() == L'\\' && !(folder.size() == 3 && folder[1] == L':'))
            folder.pop_back();
    }
    return L"INSTALLDIR=\"" + folder + L"\"";
}

bool IsMsiSuccess(UINT resultCode)
{
    return resultCode == ERROR_SUCCESS || resultCode == ERROR_SUCCESS_REBOOT_REQUIRED;
}

UINT InstallMsiFile(CInstallEngine& engine, const InstallPackage& package, const std::wstring& commandLine,
                    HWND owner, const std::wstring& caption)
{
    engine.BeginMsiPackage(package.name, owner, caption);
    ::MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY), nullptr);
    ::MsiSetExternalUIW(InstallerMessageHandler, kHandlerMessageFilter, &engine);
    // The Windows Installer's own verbose log goes beside the run's log.
    const std::wstring installerLog = PackageInstallerLogPath(package.name);
    if (!installerLog.empty())
        ::MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR |
                            INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO |
                            INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_COMMONDATA |
                            INSTALLLOGMODE_PROPERTYDUMP | INSTALLLOGMODE_OUTOFDISKSPACE,
                        installerLog.c_str(), 0);
    Log(L"Windows Installer: installing ", package.localPath, L" with command line \"", commandLine, L"\"",
        installerLog.empty() ? L"" : L"; its own log: ", installerLog);
    UINT rc = ::MsiInstallProductW(package.localPath.c_str(), commandLine.empty() ? nullptr : commandLine.c_str());
    // The handler's context is this engine, which may die before the process:
    // no later installation of the process may call into it.
    ::MsiSetExternalUIW(nullptr, 0, nullptr);
    if (!installerLog.empty())
        ::MsiEnableLogW(0, nullptr, 0);
    Log(L"Windows Installer: ", package.name, L" ended with ", rc, L" (", engine.ProgressMessageCount(),
        L" progress messages)");
    if (rc != ERROR_SUCCESS)
        WriteDebugLine(L"VORP_DEBUG: MSI Installation failed. Error Code: " + std::to_wstring(static_cast<int>(rc)) +
                       L"\r\n");
    return rc;
}

void CInstallEngine::BeginMsiPackage(const std::wstring& packageName, HWND owner, const std::wstring& caption)
{
    // Each package's percent is its own, from 0: the status panel places it in
    // the package's share of the bar.
    m_nMaxPercent = 0;
    m_bProgressActive = 0;
    m_nBasePercent = 0;
    m_nTotalTicks = 0;
    m_bForward = 1;
    m_nPosition = 0;
    m_bFirstMessage = 1;
    m_bReplyCancel = 0;
    m_strCurrentPackage = packageName;
    m_nProgressMessages = 0;
    m_hMessageOwner = owner;
    m_strMessageCaption = caption;
    // A cancellation that came before this package still answers its first progress message.
    if (m_bCancelled)
        m_bReplyCancel = 1;
}

int CInstallEngine::HandleInstallerMessage(UINT messageType, const wchar_t* message)
{
    if (m_bFirstMessage) {
        ::MsiSetInternalUI(INSTALLUILEVEL_BASIC, nullptr);
        m_bFirstMessage = 0;
    }
    if (!message)
        return 0;
    WriteDebugLine(L"\r\n " + std::wstring(message));

    const UINT kind = messageType & 0xFF000000u;
    const UINT boxFlags = messageType & 0x00FFFFFFu;
    // Every message but the progress reports (hundreds of them; counted instead) goes to the run's log.
    if (kind == INSTALLMESSAGE_PROGRESS)
        ++m_nProgressMessages;
    else
        Log(L"Windows Installer message ", InstallerMessageKindName(kind), L": ", message);
    switch (kind) {
    case INSTALLMESSAGE_FATALEXIT:
    case INSTALLMESSAGE_ERROR:
    case INSTALLMESSAGE_OUTOFDISKSPACE: {
        // A silent run cannot ask: the installation aborts.
        int answer = ShowRunMessage(m_hMessageOwner, message, m_strMessageCaption.c_str(), boxFlags,
                                    AbortingAnswer(boxFlags));
        if (answer == IDCANCEL)
            m_nFailure = EngineFailure::CancelledInInstallerBox;
        return answer;
    }
    case INSTALLMESSAGE_INFO:
        ParseLogLine(message);
        return 1;
    case INSTALLMESSAGE_PROGRESS:
        return ParseProgressMessage(message);
    case INSTALLMESSAGE_WARNING:
    case INSTALLMESSAGE_USER:
    case INSTALLMESSAGE_ACTIONSTART:
    case INSTALLMESSAGE_ACTIONDATA:
    case INSTALLMESSAGE_COMMONDATA:
    case INSTALLMESSAGE_INITIALIZE:
    case INSTALLMESSAGE_TERMINATE:
    case INSTALLMESSAGE_SHOWDIALOG:
    case INSTALLMESSAGE_INSTALLEND:
        return 1;
    default: // files in use, resolve source, anything unknown
        return 0;
    }
}

int CInstallEngine::ParseProgressMessage(const std::wstring& text)
{
    if (text.empty())
        return IDOK;
    // Fields: "<n>: <value> " for n = 1..4. Type 2 and 3 messages carry two
    // fields, type 1 three, the others four.
    size_t pos = 0;
    size_t lastField = 4;
    size_t fieldsRead = 0;
    while (fieldsRead < lastField) {
        while (pos < text.size() && text[pos] == L' ')
            ++pos;
        if (pos >= text.size())
            break;
        const wchar_t number = text[pos];
        if (number < L'1' || number > L'4' || pos + 1 >= text.size() || text[pos + 1] != L':')
            return IDOK;
        pos += 2;
        while (pos < text.size() && text[pos] == L' ')
            ++pos;
        size_t end = text.find(L' ', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring_view value(text.data() + pos, end - pos);
        pos = end;
        ++fieldsRead;
        switch (number) {
        case L'1':
            if (value.size() != 1 || value[0] < L'0' || value[0] > L'9')
                return IDOK;
            m_nProgressType = value[0] - L'0';
            lastField = m_nProgressType == 2 || m_nProgressType == 3 ? 2 : m_nProgressType == 1 ? 3 : 4;
            break;
        case L'2':
            m_nProgressField2 = ParseLeadingInt32(value);
            break;
        case L'3':
            m_nProgressField3 = ParseLeadingInt32(value);
            break;
        default:
            m_nProgressField4 = ParseLeadingInt32(value);
            break;
        }
    }

    switch (m_nProgressType) {
    case 0: // a new progress bar
        m_bProgressActive = 1;
        m_nTotalTicks = m_nProgressField2;
        m_bForward = m_nProgressField3 == 0 ? 1 : 0;
        m_nPosition = m_bForward ? 0 : m_nTotalTicks;
        m_nBasePercent = m_nMaxPercent;
        break;
    case 1: // action info: the action moves the bar by field 2 per action data message
        if (m_bProgressActive && m_nProgressField3 != 0)
            AdvanceProgress();
        break;
    case 2: // progress report
        AdvanceProgress();
        break;
    default:
        break;
    }
    return m_bReplyCancel ? IDCANCEL : IDOK;
}

void CInstallEngine::AdvanceProgress()
{
    if (!m_bProgressActive)
        return;
    const int32_t ticks = m_nProgressField2;
    if (ticks > m_nTotalTicks)
        return;
    int64_t position = static_cast<int64_t>(m_nPosition) + (m_bForward ? ticks : -static_cast<int64_t>(ticks));
    // The position stays on the bar, so the percent never leaves 0..100.
    if (position < 0)
        position = 0;
    if (position > m_nTotalTicks)
        position = m_nTotalTicks;
    m_nPosition = static_cast<int32_t>(position);
    if (m_nTotalTicks == 0)
        return;
    const float fraction = static_cast<float>(m_nPosition) / static_cast<float>(m_nTotalTicks);
    const int32_t percent = m_nBasePercent + static_cast<int32_t>(fraction * static_cast<float>(100 - m_nBasePercent));
    if (percent > m_nMaxPercent)
        m_nMaxPercent = percent;
    SetStatus(PhaseInstalling, m_nInstallIndex, m_nMaxPercent, m_strCurrentPackage);
}

void CInstallEngine::ParseLogLine(const std::wstring& line)
{
    if (!m_strHomePageUrl.empty())
        return;
    std::wstring_view text(line);
    if (!StartsWithNoCase(text, kPropertyPrefix))
        return;
    std::wstring_view rest = Trim(text.substr(kPropertyPrefix.size()));
    if (!StartsWithNoCase(rest, kHomePagePrefix))
        return;
    m_strHomePageUrl = std::wstring(Trim(rest.substr(kHomePagePrefix.size())));
}

UINT InstallMsiPackage(CInstallEngine& engine, const InstallPackage& package)
{
    const InstalledFlags flags = AppInstalledFlags();
    const std::wstring commandLine =
        MakeMsiCommandLine(flags.productInstalled != 0, flags.relatedProductInstalled != 0, theConfig.installFolder);
    return InstallMsiFile(engine, package, commandLine, AfxGetMainWindowHandle(), theConfig.manifest.short_name);
}

int WINAPI InstallerMessageHandler(LPVOID context, UINT messageType, LPCWSTR message)
{
    // Nothing may unwind through the Windows Installer.
    try {
        return static_cast<CInstallEngine*>(context)->HandleInstallerMessage(messageType, message);
    } catch (...) {
        return 0;
    }
}

} // namespace kelm
