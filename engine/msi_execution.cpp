#include "engine/msi_execution.h"

#include <msi.h>

#include <cwctype>
#include <string_view>

#include "config/decimal.h"
#include "engine/install_status.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"

namespace kelm {

namespace {

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

void MsiExecution::Begin(const std::wstring& packageName, int32_t installIndex, HWND owner,
                         const std::wstring& caption, const std::atomic<int32_t>& runCancelled)
{
    m_nInstallIndex = installIndex;
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
    m_bCancelledInBox = false;
    if (runCancelled)
        m_bReplyCancel = 1;
}

int MsiExecution::HandleInstallerMessage(UINT messageType, const wchar_t* message)
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
            m_bCancelledInBox = true;
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

int MsiExecution::ParseProgressMessage(const std::wstring& text)
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

void MsiExecution::AdvanceProgress()
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

void MsiExecution::ParseLogLine(const std::wstring& line)
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

int WINAPI InstallerMessageHandler(LPVOID context, UINT messageType, LPCWSTR message)
{
    // Nothing may unwind through the Windows Installer.
    try {
        return static_cast<MsiExecution*>(context)->HandleInstallerMessage(messageType, message);
    } catch (...) {
        return 0;
    }
}

} // namespace kelm
