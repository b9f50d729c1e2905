#pragma once
// Shared pieces of the transfer tests: the session, a recording progress
// receiver, cancel/run events and a scratch folder.

#include "framework/handles.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "transfer/download_job.h"
#include "transfer/http_client.h"
#include "transfer/sha256.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace kelm::test {

// Opens the session once and insists on a running loopback server.
class TransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(OpenSession()); }
    void SetUp() override { ASSERT_TRUE(Server().IsReady()) << Server().Problem(); }
    static const LoopbackServer& Server() { return LoopbackServer::Get(); }
};

// Records every report; an optional hook runs on the downloading thread first.
class RecordingCallback : public IDownloadCallback {
public:
    void OnStatus(DownloadStatusInfo& info) override
    {
        if (hook)
            hook(info);
        std::lock_guard lock(m_lock);
        m_reports.push_back(info);
    }
    std::vector<DownloadStatusInfo> Reports() const
    {
        std::lock_guard lock(m_lock);
        return m_reports;
    }
    size_t Count() const
    {
        std::lock_guard lock(m_lock);
        return m_reports.size();
    }
    std::function<void(const DownloadStatusInfo&)> hook;

private:
    mutable std::mutex m_lock;
    std::vector<DownloadStatusInfo> m_reports;
};

// The engine's two manual-reset events: cancel (signalled = stop), run (reset = paused).
class TestJobOwner : public IDownloadJobOwner {
public:
    TestJobOwner()
        : m_cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_run(::CreateEventW(nullptr, TRUE, TRUE, nullptr))
    {
    }
    HANDLE GetCancelEvent() const override { return m_cancel.Get(); }
    HANDLE GetRunEvent() const override { return m_run.Get(); }
    // What the engine's Cancel does.
    void Cancel()
    {
        ::SetEvent(m_cancel.Get());
        ::SetEvent(m_run.Get());
    }

private:
    UniqueHandle m_cancel;
    UniqueHandle m_run;
};

// Sets the transfer timeout for one test, and the default back afterwards.
class TransferTimeoutForTest {
public:
    explicit TransferTimeoutForTest(DWORD milliseconds) { SetTransferTimeout(milliseconds); }
    ~TransferTimeoutForTest() { SetTransferTimeout(kDefaultTransferTimeout); }
    TransferTimeoutForTest(const TransferTimeoutForTest&) = delete;
    TransferTimeoutForTest& operator=(const TransferTimeoutForTest&) = delete;
};

// Sets the window of the minimum speed for one test, and the default back afterwards.
class MinimumSpeedWindowForTest {
public:
    explicit MinimumSpeedWindowForTest(DWORD milliseconds) { SetMinimumSpeedWindow(milliseconds); }
    ~MinimumSpeedWindowForTest() { SetMinimumSpeedWindow(kDefaultMinimumSpeedWindow); }
    MinimumSpeedWindowForTest(const MinimumSpeedWindowForTest&) = delete;
    MinimumSpeedWindowForTest& operator=(const MinimumSpeedWindowForTest&) = delete;
};

// Sets the unit of the waits between a job's attempts for one test, and the default back afterwards.
class RetryWaitUnitForTest {
public:
    explicit RetryWaitUnitForTest(DWORD milliseconds) { SetRetryWaitUnit(milliseconds); }
    ~RetryWaitUnitForTest() { SetRetryWaitUnit(kDefaultRetryWaitUnit); }
    RetryWaitUnitForTest(const RetryWaitUnitForTest&) = delete;
    RetryWaitUnitForTest& operator=(const RetryWaitUnitForTest&) = delete;
};

// The SHA-256 of bytes, by the system's hash the downloads use.
inline std::wstring Sha256Of(const std::string& bytes)
{
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

// A JSON array of the given JSON values (routes for LoopbackServer::AddRoutes).
inline std::string JsonList(std::initializer_list<std::string> items)
{
    std::string list = "[";
    for (const std::string& item : items) {
        if (list.size() > 1)
            list += ", ";
        list += item;
    }
    return list += "]";
}

inline bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

inline LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

} // namespace kelm::test
