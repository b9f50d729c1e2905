#pragma once
// Writes the filled buffers of a download on a thread of its own, so that the
// next buffer fills from the network while the last one goes to the disk. Two
// buffers take turns; the reader waits only when the disk is slower than the
// line. A write refused by Windows is caught on the thread that made it and
// told to the reader at its next hand-over, as the Windows error.

#include "framework/handles.h"

#include <windows.h>

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>

namespace kelm {

class CDownloadFile;
class Sha256;
class WriteFence;

class BlockWriter {
public:
    // Each buffer holds bufferSize bytes; the first block goes to startOffset,
    // each later one after the one before. Every block written is also fed to
    // hash (may be null), in file order, through the fence: nothing once it
    // is closed. Without a thread to be had, blocks are written by the
    // reader's thread at the hand-over.
    BlockWriter(WriteFence& fence, CDownloadFile& file, std::size_t bufferSize,
                std::uint64_t startOffset = 0, Sha256* hash = nullptr);
    // Lets the block under way end (nothing is written once the fence is
    // closed) and ends the thread.
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // The buffer the reader fills now.
    unsigned char* Buffer() const noexcept { return m_buffers[m_filling].get(); }
    // Hands the first size bytes of Buffer() over to be written after the blocks
    // before it; Buffer() is the other one afterwards, its earlier write done.
    // False once a write has failed (WriteError): nothing more is written.
    bool Submit(std::size_t size);
    // Waits until every block handed over is written; false when one failed.
    bool Finish();
    // The Windows error of the first write that failed; 0 while none has.
    DWORD WriteError() const noexcept { return m_writeError; }

private:
    static DWORD WINAPI WriterThread(void* parameter) noexcept;
    void WriteLoop() noexcept;
    // Writes and records a failure; never throws.
    void WriteNow(const unsigned char* data, std::size_t size) noexcept;
    // Under m_lock: waits until no block is pending; false when a write has failed.
    bool WaitIdleLocked();

    WriteFence& m_fence;
    CDownloadFile& m_file;
    Sha256* const m_hash;
    std::unique_ptr<unsigned char[]> m_buffers[2];
    int m_filling = 0;
    std::uint64_t m_fileOffset; // written by one thread at a time: the one holding the pending block

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    const unsigned char* m_pending = nullptr;
    std::size_t m_pendingSize = 0;
    bool m_stop = false;
    std::atomic<DWORD> m_writeError{0}; // set by the thread that wrote, read at the hand-overs
    UniqueHandle m_thread;
};

} // namespace kelm
