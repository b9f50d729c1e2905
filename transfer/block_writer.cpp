#include "transfer/block_writer.h"

#include "transfer/download_file.h"
#include "transfer/sha256.h"
#include "transfer/write_fence.h"

#include <system_error>

namespace kelm {

namespace {

class SrwGuard {
public:
    explicit SrwGuard(SRWLOCK& lock) noexcept : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~SrwGuard() { ::ReleaseSRWLockExclusive(&m_lock); }
    SrwGuard(const SrwGuard&) = delete;
    SrwGuard& operator=(const SrwGuard&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace

BlockWriter::BlockWriter(WriteFence& fence, CDownloadFile& file, std::size_t bufferSize,
                         std::uint64_t startOffset, Sha256* hash)
    : m_fence(fence), m_file(file), m_hash(hash), m_fileOffset(startOffset)
{
    m_buffers[0] = std::make_unique<unsigned char[]>(bufferSize);
    m_buffers[1] = std::make_unique<unsigned char[]>(bufferSize);
    m_thread.Reset(::CreateThread(nullptr, 0, WriterThread, this, 0, nullptr));
}

BlockWriter::~BlockWriter()
{
    if (!m_thread)
        return;
    {
        SrwGuard guard(m_lock);
        m_stop = true;
    }
    ::WakeAllConditionVariable(&m_changed);
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
}

bool BlockWriter::Submit(std::size_t size)
{
    const unsigned char* block = Buffer();
    m_filling = 1 - m_filling;
    if (!m_thread) {
        if (m_writeError == 0)
            WriteNow(block, size);
        return m_writeError == 0;
    }
    {
        SrwGuard guard(m_lock);
        if (!WaitIdleLocked())
            return false;
        m_pending = block;
        m_pendingSize = size;
    }
    ::WakeAllConditionVariable(&m_changed);
    return true;
}

bool BlockWriter::Finish()
{
    if (!m_thread)
        return m_writeError == 0;
    SrwGuard guard(m_lock);
    return WaitIdleLocked();
}

bool BlockWriter::WaitIdleLocked()
{
    while (m_pending)
        ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
    return m_writeError == 0;
}

DWORD WINAPI BlockWriter::WriterThread(void* parameter) noexcept
{
    static_cast<BlockWriter*>(parameter)->WriteLoop();
    return 0;
}

void BlockWriter::WriteLoop() noexcept
{
    SrwGuard guard(m_lock);
    for (;;) {
        while (!m_pending && !m_stop)
            ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        if (!m_pending)
            return; // stopped with nothing left
        const unsigned char* block = m_pending;
        const std::size_t size = m_pendingSize;
        ::ReleaseSRWLockExclusive(&m_lock);
        if (m_writeError == 0)
            WriteNow(block, size);
        ::AcquireSRWLockExclusive(&m_lock);
        m_pending = nullptr;
        ::WakeAllConditionVariable(&m_changed);
    }
}

// Behind a closed fence the download has walked away: its file may be closed already.
void BlockWriter::WriteNow(const unsigned char* data, std::size_t size) noexcept
{
    try {
        m_fence.IfOpen([&] {
            m_file.Seek(m_fileOffset);
            m_file.Write(data, size);
            m_fileOffset += size;
            if (m_hash)
                m_hash->Update(data, size);
        });
    } catch (const std::system_error& refused) {
        m_writeError = static_cast<DWORD>(refused.code().value());
    } catch (...) {
        m_writeError = ERROR_WRITE_FAULT;
    }
}

} // namespace kelm
