// The Windows Installer message handler as tables: progress arithmetic, log
// lines, answers by message kind; the status record's cancelling rule; the
// package shares; the MSI command line.
#include <windows.h>
#include <gtest/gtest.h>
#include <msi.h>

#include "engine/install_engine.h"
#include "engine/install_status.h"
#include "engine/msi_package.h"
#include "engine_test_support.h"

namespace kelm {
namespace {

class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetInstallStatus();
        msi.Begin(L"product.msi", 1, nullptr, L"Zunder", runCancelled);
    }
    void TearDown() override { ResetInstallStatus(); }

    std::atomic<int32_t> runCancelled{0};
    MsiExecution msi;
};

struct ProgressStep {
    const wchar_t* message;
    int answer;
    int maxPercent; // engine's highest percent after the message
};

struct ProgressCase {
    const char* name;
    std::vector<ProgressStep> steps;
};

TEST_F(HandlerTest, ProgressMessagesMoveThePercentAsTheBarsAdvance)
{
    const ProgressCase cases[] = {
        {"second bar continues from the first",
         {{L"1: 0 2: 1000 3: 0 4: 1", IDOK, 0},
          {L"1: 2 2: 250", IDOK, 25},
          {L"1: 0 2: 500 3: 0 4: 0", IDOK, 25},
          {L"1: 2 2: 250", IDOK, 62}}},
        {"more ticks than the bar holds are ignored",
         {{L"1: 0 2: 1000 3: 0 4: 0", IDOK, 0}, {L"1: 2 2: 1001", IDOK, 0}, {L"1: 2 2: 1000", IDOK, 100}}},
        {"the position never runs past the end of the bar",
         {{L"1: 0 2: 100 3: 0 4: 0", IDOK, 0}, {L"1: 2 2: 80", IDOK, 80}, {L"1: 2 2: 80", IDOK, 100}}},
        {"rollback moves backward and the percent stays",
         {{L"1: 0 2: 1000 3: 0 4: 0", IDOK, 0},
          {L"1: 2 2: 500", IDOK, 50},
          {L"1: 0 2: 1000 3: 1 4: 0", IDOK, 50},
          {L"1: 2 2: 100", IDOK, 95},
          {L"1: 2 2: 400", IDOK, 95}}},
        {"action info advances only with field 3 set",
         {{L"1: 0 2: 100 3: 0 4: 0", IDOK, 0},
          {L"1: 1 2: 10 3: 1", IDOK, 10},
          {L"1: 1 2: 10 3: 0", IDOK, 10},
          {L"1: 3 2: 50", IDOK, 10}}},
        {"nothing moves before a reset", {{L"1: 2 2: 10", IDOK, 0}, {L"1: 1 2: 10 3: 1", IDOK, 0}}},
        {"an empty bar reports nothing", {{L"1: 0 2: 0 3: 0 4: 0", IDOK, 0}, {L"1: 2 2: 0", IDOK, 0}}},
        {"malformed messages change nothing",
         {{L"", IDOK, 0},
          {L"1: x 2: 5", IDOK, 0},
          {L"1: 12 2: 5", IDOK, 0},
          {L"garbage", IDOK, 0},
          {L"1: 0 2: 1000 5: 0", IDOK, 0},
          {L"1: 2 2: 250", IDOK, 0}}},
    };
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(c.name);
        MsiExecution fresh;
        fresh.Begin(L"product.msi", 1, nullptr, L"Zunder", runCancelled);
        ResetInstallStatus();
        int step = 0;
        for (const ProgressStep& s : c.steps) {
            SCOPED_TRACE(step++);
            EXPECT_EQ(s.answer, fresh.ParseProgressMessage(s.message));
            EXPECT_EQ(s.maxPercent, fresh.MaxPercent());
        }
    }
}

TEST_F(HandlerTest, ProgressIsReportedAsInstallingTheCurrentPackage)
{
    msi.ParseProgressMessage(L"1: 0 2: 1000 3: 0 4: 1");
    EXPECT_EQ(PhaseInit, ReadInstallStatus().phase);
    msi.ParseProgressMessage(L"1: 2 2: 250 ");
    InstallStatus status = ReadInstallStatus();
    EXPECT_EQ(PhaseInstalling, status.phase);
    EXPECT_EQ(1, status.index);
    EXPECT_EQ(25, status.percent);
    EXPECT_EQ(L"product.msi", status.text);
}

TEST_F(HandlerTest, ASecondPackageCountsItsOwnProgressFromZero)
{
    msi.ParseProgressMessage(L"1: 0 2: 1000 3: 0 4: 0");
    msi.ParseProgressMessage(L"1: 2 2: 620");
    msi.Begin(L"second.msi", 2, nullptr, L"Zunder", runCancelled);
    msi.ParseProgressMessage(L"1: 0 2: 100 3: 0 4: 0");
    msi.ParseProgressMessage(L"1: 2 2: 10");
    InstallStatus status = ReadInstallStatus();
    EXPECT_EQ(10, status.percent); // of its own share, not after the first package's 62
    EXPECT_EQ(2, status.index);
    EXPECT_EQ(L"second.msi", status.text);
}

TEST_F(HandlerTest, AfterCancelProgressMessagesAreAnsweredWithCancel)
{
    CInstallEngine engine;
    engine.BeginMsiExecution(L"product.msi", nullptr, L"Zunder");
    EXPECT_EQ(IDOK, engine.Msi().ParseProgressMessage(L"1: 0 2: 1000 3: 0 4: 0"));
    engine.Cancel();
    EXPECT_EQ(IDCANCEL, engine.Msi().ParseProgressMessage(L"1: 2 2: 10"));
    EXPECT_EQ(IDCANCEL, engine.Msi().HandleInstallerMessage(INSTALLMESSAGE_PROGRESS, L"1: 2 2: 10"));
    // A package started after the cancellation answers Cancel too.
    engine.BeginMsiExecution(L"next.msi", nullptr, L"Zunder");
    EXPECT_EQ(IDCANCEL, engine.Msi().ParseProgressMessage(L"1: 0 2: 1000 3: 0 4: 0"));
    EXPECT_EQ(PhaseCancelling, ReadInstallStatus().phase);
}

TEST_F(HandlerTest, HomePageComesFromTheFirstMatchingPropertyLine)
{
    struct LogCase {
        std::vector<const wchar_t*> lines;
        const wchar_t* homePage;
    };
    const LogCase cases[] = {
        {{L"Property(S): InstallHomepageURL = http://127.0.0.1/home   "}, L"http://127.0.0.1/home"},
        {{L"PROPERTY(s):   installhomepageurl =   http://a.test/b \t"}, L"http://a.test/b"},
        {{L"Property(S): InstallHomepageURL = http://first/", L"Property(S): InstallHomepageURL = http://second/"},
         L"http://first/"},
        {{L"Property(S): ProductName = Zunder", L"Property(S): InstallHomepageURL = http://later/"}, L"http://later/"},
        {{L"Property(C): InstallHomepageURL = http://client/"}, L""},
        {{L"Property(S): InstallHomepageURL=http://nospace/"}, L""},
        {{L"Property(S):"}, L""},
        {{L"Property(S"}, L""},
        {{L"Action start 12:00:00: InstallFiles."}, L""},
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.lines[0])));
        MsiExecution fresh;
        for (const wchar_t* line : c.lines)
            EXPECT_EQ(1, fresh.HandleInstallerMessage(INSTALLMESSAGE_INFO, line));
        EXPECT_EQ(std::wstring(c.homePage), fresh.HomePageUrl());
    }
}

TEST_F(HandlerTest, MessageKindsWithoutABoxGetTheirFixedAnswers)
{
    struct KindCase {
        UINT kind;
        int answer;
    };
    const KindCase cases[] = {
        {INSTALLMESSAGE_WARNING, 1},     {INSTALLMESSAGE_USER, 1},       {INSTALLMESSAGE_INFO, 1},
        {INSTALLMESSAGE_FILESINUSE, 0},  {INSTALLMESSAGE_RESOLVESOURCE, 0}, {INSTALLMESSAGE_ACTIONSTART, 1},
        {INSTALLMESSAGE_ACTIONDATA, 1},  {INSTALLMESSAGE_PROGRESS, 1},   {INSTALLMESSAGE_COMMONDATA, 1},
        {INSTALLMESSAGE_INITIALIZE, 1},  {INSTALLMESSAGE_TERMINATE, 1},  {INSTALLMESSAGE_SHOWDIALOG, 1},
        {0x1B000000u /* install end */, 1}, {0x0F000000u, 0},           {0x1A000000u /* install start */, 0},
    };
    test::MessageBoxAnswerer answerer(IDOK);
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(c.answer, msi.HandleInstallerMessage(c.kind | MB_OKCANCEL, L"1: 3 2: 0"));
        EXPECT_EQ(0, msi.HandleInstallerMessage(c.kind, nullptr));
    }
    EXPECT_EQ(0u, answerer.Count());
    EXPECT_FALSE(msi.CancelledInInstallerBox());
}

TEST_F(HandlerTest, ErrorKindsShowTheInstallersTextAndReturnTheUsersAnswer)
{
    struct BoxCase {
        UINT type;
        int press;
        bool cancelled; // in the installer's box
    };
    const BoxCase cases[] = {
        {INSTALLMESSAGE_ERROR | MB_OKCANCEL | MB_ICONERROR, IDOK, false},
        {INSTALLMESSAGE_FATALEXIT | MB_OK, IDOK, false},
        {INSTALLMESSAGE_OUTOFDISKSPACE | MB_RETRYCANCEL, IDRETRY, false},
        {INSTALLMESSAGE_ERROR | MB_ABORTRETRYIGNORE, IDIGNORE, false},
        {INSTALLMESSAGE_ERROR | MB_OKCANCEL | MB_ICONERROR, IDCANCEL, true},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.type);
        MsiExecution fresh;
        fresh.Begin(L"product.msi", 0, nullptr, L"Zunder Pro", runCancelled);
        test::MessageBoxAnswerer answerer(c.press);
        EXPECT_EQ(c.press, fresh.HandleInstallerMessage(c.type, L"Error 1311. Source file not found."));
        EXPECT_EQ(c.cancelled, fresh.CancelledInInstallerBox());
        std::vector<test::SeenBox> seen = answerer.Seen();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(L"Error 1311. Source file not found.", seen[0].text);
        EXPECT_EQ(L"Zunder Pro", seen[0].caption);
    }
}

TEST(InstallStatusTest, WhileCancellingOnlyTheMoveToCancelledIsStored)
{
    ResetInstallStatus();
    SetStatus(PhaseDownloading, 1, 40, L"vc_redist.exe");
    InstallStatus status = ReadInstallStatus();
    EXPECT_EQ(PhaseDownloading, status.phase);
    EXPECT_EQ(40, status.percent);

    SetStatus(PhaseCancelling, -1, 0, L"");
    for (InstallPhase phase : {PhaseInit, PhaseDownloading, PhaseInstalling, PhaseFinished, PhaseInstallFailed}) {
        SetStatus(phase, 2, 77, L"late report");
        status = ReadInstallStatus();
        EXPECT_EQ(PhaseCancelling, status.phase);
        EXPECT_EQ(-1, status.index);
        EXPECT_EQ(0, status.percent);
        EXPECT_EQ(L"", status.text);
    }
    SetStatus(PhaseCancelled, -1, 0, L"");
    EXPECT_EQ(PhaseCancelled, ReadInstallStatus().phase);
    ResetInstallStatus();
}

TEST(InstallStatusTest, ACancellationAfterTheEndLeavesTheFinalPhase)
{
    for (InstallPhase final : {PhaseFinished, PhaseInstallFailed, PhaseCancelled}) {
        ResetInstallStatus();
        SetStatus(final, -1, 0, L"");
        CInstallEngine engine;
        engine.Cancel();
        EXPECT_EQ(final, ReadInstallStatus().phase);
    }
    ResetInstallStatus();
}

TEST(PackageSharesTest, SharesAreNormalisedToPercentsSummingTo100)
{
    struct ShareCase {
        std::vector<int32_t> raw;
        std::vector<int32_t> normalised;
    };
    const ShareCase cases[] = {
        {{40, 40, 50}, {30, 30, 40}},
        {{40, 50}, {44, 56}},
        {{50}, {100}},
        {{40, 40, 40, 50}, {23, 23, 23, 31}},
        {{}, {}},
    };
    for (const ShareCase& c : cases)
        EXPECT_EQ(c.normalised, NormaliseShares(c.raw));
}

TEST(MsiCommandLineTest, CommandLineFollowsTheInstalledFlagsAndTheFolder)
{
    test::TempFolder folder(L"kelm engine cmdline");
    const std::wstring withBackslash = folder.Path();
    const std::wstring withoutBackslash = withBackslash.substr(0, withBackslash.size() - 1);
    const std::wstring missing = withBackslash + L"missing\\";
    const std::wstring reinstall = L"REINSTALL=ALL REINSTALLMODE=vomus REBOOT=ReallySuppress";
    struct CommandCase {
        bool installed;
        bool related;
        std::wstring folder;
        std::wstring commandLine;
    };
    const CommandCase cases[] = {
        {true, false, withBackslash, reinstall},
        {true, false, missing, reinstall},
        {false, false, withBackslash, L"INSTALLDIR=\"" + withoutBackslash + L"\""},
        {false, false, withoutBackslash, L"INSTALLDIR=\"" + withoutBackslash + L"\""},
        {false, true, withBackslash, L"INSTALLDIR=\"" + withBackslash + L"\""},
        {false, false, missing, L""},
        {false, true, missing, L""},
        {false, false, L"", L""},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.folder));
        EXPECT_EQ(c.commandLine, MakeMsiCommandLine(c.installed, c.related, c.folder));
    }
}

} // namespace
} // namespace kelm
