#pragma once
// Shared pieces of the engine tests: the test packages and their products,
// files, the debugger output, and a watcher that answers this process's message
// boxes. What other areas' tests need as well is in tests/support.

#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/handles.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

namespace kelm::test {

// The .msi packages that the build makes with wixl.
inline std::wstring TestPackage(const wchar_t* fileName)
{
    return TestBinaryFolder() + L"packages\\" + fileName;
}

constexpr wchar_t kProductCode[] = L"{143D356E-5BF5-4666-B3C8-CE922D81A88E}";
constexpr wchar_t kFailingProductCode[] = L"{271BE55A-F517-4FCB-BFBB-FE759165DC82}";
constexpr wchar_t kProductHomePage[] = L"http://127.0.0.1/zunder/welcome.html";

inline bool CopyTestFile(const std::wstring& from, const std::wstring& to)
{
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

// The whole file as UTF-8 decoded text; empty when it cannot be read.
inline std::wstring ReadTextFile(const std::wstring& path)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file)
        return {};
    std::string bytes(::GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

// Receives what this process writes to the debugger output, through the
// system-wide debug-monitor buffer (one monitor per machine at a time).
class DebugOutputRecorder {
public:
    DebugOutputRecorder()
        : m_bufferReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          m_dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER")),
          m_view(m_mapping ? ::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, 4096) : nullptr),
          m_thread([this] { Listen(); })
    {
    }
    ~DebugOutputRecorder()
    {
        m_stop = true;
        m_thread.join();
        if (m_view)
            ::UnmapViewOfFile(m_view);
    }
    DebugOutputRecorder(const DebugOutputRecorder&) = delete;
    DebugOutputRecorder& operator=(const DebugOutputRecorder&) = delete;

    bool IsListening() const { return m_view != nullptr && m_bufferReady && m_dataReady; }
    // Everything received so far from this process, in order.
    std::string Text()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_text;
    }

private:
    void Listen()
    {
        if (!IsListening())
            return;
        ::SetEvent(m_bufferReady.Get());
        while (!m_stop) {
            if (::WaitForSingleObject(m_dataReady.Get(), 50) != WAIT_OBJECT_0)
                continue;
            const char* data = static_cast<const char*>(m_view);
            DWORD process = 0;
            memcpy(&process, data, sizeof process);
            if (process == ::GetCurrentProcessId()) {
                std::lock_guard<std::mutex> hold(m_lock);
                m_text += std::string(data + sizeof process, strnlen(data + sizeof process, 4096 - sizeof process));
            }
            ::SetEvent(m_bufferReady.Get());
        }
    }

    UniqueHandle m_bufferReady;
    UniqueHandle m_dataReady;
    UniqueHandle m_mapping;
    void* m_view;
    std::mutex m_lock;
    std::string m_text;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct SeenBox {
    std::wstring text;
    std::wstring caption;
};

// Answers every message box that this process shows, from a thread of its own:
// `decide` gets the box's number (from 0) and contents and returns the button
// id to press (IDOK, IDCANCEL, IDRETRY, ...).
class MessageBoxAnswerer {
public:
    using Decision = std::function<int(size_t index, const SeenBox& box)>;

    explicit MessageBoxAnswerer(Decision decide) : m_decide(std::move(decide)), m_thread([this] { Watch(); }) {}
    explicit MessageBoxAnswerer(int answer) : MessageBoxAnswerer([answer](size_t, const SeenBox&) { return answer; }) {}
    ~MessageBoxAnswerer()
    {
        m_stop = true;
        m_thread.join();
    }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::vector<SeenBox> Seen()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_seen;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_seen.size();
    }

private:
    static BOOL CALLBACK CollectBox(HWND window, LPARAM context)
    {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        wchar_t className[64] = {};
        ::GetClassNameW(window, className, 64);
        if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window) && wcscmp(className, L"#32770") == 0)
            reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
        return TRUE;
    }

    void Watch()
    {
        std::set<HWND> answered;
        while (!m_stop) {
            std::vector<HWND> boxes;
            ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&boxes));
            for (HWND box : boxes) {
                if (answered.count(box))
                    continue;
                SeenBox seen;
                wchar_t buffer[2048] = {};
                ::GetDlgItemTextW(box, 0xFFFF, buffer, 2048);
                seen.text = buffer;
                buffer[0] = L'\0';
                ::GetWindowTextW(box, buffer, 2048);
                seen.caption = buffer;
                size_t index;
                {
                    std::lock_guard<std::mutex> hold(m_lock);
                    index = m_seen.size();
                    m_seen.push_back(seen);
                }
                answered.insert(box);
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(m_decide(index, seen), BN_CLICKED), 0);
            }
            // A box handle may come back for a later box once the first is gone.
            for (auto it = answered.begin(); it != answered.end();)
                it = ::IsWindow(*it) ? std::next(it) : answered.erase(it);
            ::Sleep(20);
        }
    }

    Decision m_decide;
    std::mutex m_lock;
    std::vector<SeenBox> m_seen;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace kelm::test
