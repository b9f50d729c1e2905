#include "runlog/run_message.h"

#include "runlog/run_log.h"
#include "runlog/run_outcome.h"

namespace kelm {

namespace {

const wchar_t* AnswerName(int answer) noexcept
{
    switch (answer) {
    case IDOK:
        return L"OK";
    case IDCANCEL:
        return L"Cancel";
    case IDABORT:
        return L"Abort";
    case IDRETRY:
        return L"Retry";
    case IDIGNORE:
        return L"Ignore";
    case IDYES:
        return L"Yes";
    case IDNO:
        return L"No";
    default:
        return L"no answer";
    }
}

} // namespace

int ShowRunMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type, int silentAnswer) noexcept
{
    if (IsSilentRun()) {
        Log(L"message not shown (silent run): \"", caption, L"\": ", text, L" -> taken as ",
            AnswerName(silentAnswer));
        return silentAnswer;
    }
    Log(L"message shown: \"", caption, L"\": ", text);
    const int answer = ::MessageBoxW(owner, text, caption, type);
    Log(L"message answered: ", AnswerName(answer));
    return answer;
}

} // namespace kelm
