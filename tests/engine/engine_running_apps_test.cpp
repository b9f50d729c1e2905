// The running-application check against a helper process that holds the
// product's semaphores; the message box is answered from this process.
#include <windows.h>
#include <gtest/gtest.h>

#include "engine/running_apps.h"
#include "engine_test_support.h"
#include "driving/process_windows.h"

namespace kelm {
namespace {

constexpr wchar_t kIntro[] = L"The following applications should be closed before continuing the installation:";
constexpr wchar_t kCaption[] = L"Zunder Pro 8";
constexpr wchar_t kEditor[] = L"Zunder Pro Video Editor 8.exe";
constexpr wchar_t kRecorder[] = L"Zunder Pro Video Recorder 8.exe";

// One running "program": a helper process holding the named semaphores.
class Holder {
public:
    explicit Holder(const std::wstring& semaphores)
        : m_started(m_process.Start(test::TestBinaryFolder() + L"semaphore_holder.exe", semaphores))
    {
    }
    void Close() { m_process.Terminate(); }
    bool Started() const { return m_started; }

private:
    test::ChildProcess m_process;
    bool m_started;
};

bool Sees(size_t count)
{
    return test::WaitUntil([count] { return FindRunningApplications().size() == count; }, 5000);
}

std::wstring Message(std::initializer_list<const wchar_t*> names)
{
    std::wstring message = std::wstring(kIntro) + L"\n\n";
    for (const wchar_t* name : names)
        message += std::wstring(name) + L"\r\n";
    return message;
}

TEST(RunningAppsTest, NothingRunningPassesWithoutAsking)
{
    ASSERT_TRUE(Sees(0));
    test::MessageBoxAnswerer answerer(IDCANCEL);
    EXPECT_NE(0, AskToCloseRunningApplications(kIntro, kCaption, nullptr));
    EXPECT_EQ(0u, answerer.Count());
}

TEST(RunningAppsTest, OnlyTheRecorderIsListedAndCancelGivesUp)
{
    Holder recorder(L"MirelleZunderVRInstance_80");
    ASSERT_TRUE(recorder.Started());
    ASSERT_TRUE(Sees(1));
    test::MessageBoxAnswerer answerer(IDCANCEL);
    // With no translation beside the program, the request is the English default.
    EXPECT_EQ(0, CheckRunningApplications(kCaption, nullptr));
    std::vector<test::SeenBox> seen = answerer.Seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(Message({kRecorder}), seen[0].text);
    EXPECT_EQ(kCaption, seen[0].caption);
}

TEST(RunningAppsTest, RetryAfterClosingEachProgramEndsTheCheck)
{
    Holder editor(L"MirelleZunderInstance_80");
    Holder recorder(L"MirelleZunderVRInstance_80");
    ASSERT_TRUE(Sees(2));
    test::MessageBoxAnswerer answerer([&](size_t index, const test::SeenBox&) {
        if (index == 0) {
            editor.Close();
            Sees(1);
        } else {
            recorder.Close();
            Sees(0);
        }
        return IDRETRY;
    });
    EXPECT_NE(0, AskToCloseRunningApplications(kIntro, kCaption, nullptr));
    std::vector<test::SeenBox> seen = answerer.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(Message({kEditor, kRecorder}), seen[0].text);
    EXPECT_EQ(Message({kRecorder}), seen[1].text);
}

TEST(RunningAppsTest, CancelWhileBothRunGivesUp)
{
    Holder both(L"MirelleZunderInstance_80 MirelleZunderVRInstance_80");
    ASSERT_TRUE(Sees(2));
    test::MessageBoxAnswerer answerer(IDCANCEL);
    EXPECT_EQ(0, AskToCloseRunningApplications(kIntro, kCaption, nullptr));
    ASSERT_EQ(1u, answerer.Count());
    EXPECT_EQ(Message({kEditor, kRecorder}), answerer.Seen()[0].text);
}

} // namespace
} // namespace kelm
