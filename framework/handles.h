#pragma once
// Move-only owners for Windows handles. One owner type per handle kind; the
// owner closes its handle in its destructor, so no path can forget to.
// Handles owned elsewhere (cached images, dialog items) are passed as raw,
// borrowed handles and never closed by the borrower.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace kelm {

// Traits: static Handle Invalid(); static void Close(Handle).
template <typename Traits>
class UniqueHandleT {
public:
    using Handle = decltype(Traits::Invalid());

    UniqueHandleT() noexcept = default;
    explicit UniqueHandleT(Handle handle) noexcept : m_handle(handle) {}
    ~UniqueHandleT() { Reset(); }

    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;
    UniqueHandleT(UniqueHandleT&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return m_handle; }
    bool IsValid() const noexcept { return m_handle != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Handle Release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }
    void Reset(Handle handle = Traits::Invalid()) noexcept
    {
        Handle old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }
    // For APIs that return the handle through an out parameter.
    Handle* Put() noexcept
    {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};
// Events, semaphores, threads, processes: null when absent.
using UniqueHandle = UniqueHandleT<KernelHandleTraits>;

struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};
// CreateFileW results: INVALID_HANDLE_VALUE when absent.
using UniqueFile = UniqueHandleT<FileHandleTraits>;

struct FindHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept { ::FindClose(handle); }
};
using UniqueFind = UniqueHandleT<FindHandleTraits>;

struct RegKeyTraits {
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY key) noexcept { ::RegCloseKey(key); }
};
using UniqueRegKey = UniqueHandleT<RegKeyTraits>;

template <typename GdiHandle>
struct GdiObjectTraits {
    static GdiHandle Invalid() noexcept { return nullptr; }
    static void Close(GdiHandle object) noexcept { ::DeleteObject(object); }
};
using UniqueBitmap = UniqueHandleT<GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueHandleT<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandleT<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandleT<GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandleT<GdiObjectTraits<HRGN>>;

struct MemoryDcTraits {
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC dc) noexcept { ::DeleteDC(dc); }
};
// CreateCompatibleDC results.
using UniqueMemoryDc = UniqueHandleT<MemoryDcTraits>;

struct IconTraits {
    static HICON Invalid() noexcept { return nullptr; }
    static void Close(HICON icon) noexcept { ::DestroyIcon(icon); }
};
// Icons loaded at a chosen size or made from resource bits (not shared ones).
using UniqueIcon = UniqueHandleT<IconTraits>;

// GetDC / ReleaseDC pair for one window.
class WindowDc {
public:
    explicit WindowDc(HWND window, bool wholeWindow = false) noexcept
        : m_window(window), m_dc(wholeWindow ? ::GetWindowDC(window) : ::GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// SelectObject that restores the previous object when it goes out of scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~SelectedObject()
    {
        if (m_previous && m_previous != HGDI_ERROR)
            ::SelectObject(m_dc, m_previous);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A critical section that lives as long as its owner.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&m_section); }
    ~CriticalSection() { ::DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { ::EnterCriticalSection(&m_section); }
    void Leave() noexcept { ::LeaveCriticalSection(&m_section); }
    CRITICAL_SECTION* Native() noexcept { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : m_section(section) { m_section.Enter(); }
    ~CriticalSectionLock() { m_section.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& m_section;
};

// CoInitialize / CoUninitialize pair; uninitialises only when initialising succeeded.
class ComInitialization {
public:
    ComInitialization() noexcept : m_result(::CoInitialize(nullptr)) {}
    ~ComInitialization()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    ComInitialization(const ComInitialization&) = delete;
    ComInitialization& operator=(const ComInitialization&) = delete;

    bool Succeeded() const noexcept { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

} // namespace kelm
