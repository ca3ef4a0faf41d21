// The search state word: one signed 32-bit value in a named shared block,
// written by the window and by the search worker, polled by the window.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/SharedMemory.h"

namespace tamboro {

enum SearchState : int32_t {
    SS_STOP = -1,    // a stop was asked for; the scan has not unwound yet
    SS_RUNNING = 0,  // a worker is scanning (also what a fresh block reads)
    SS_IDLE = 1,     // no scan is running
};

inline constexpr const char* kSharedBlockName = "Tamboro_SharedFile_Wistaloo";

// Message texts for the four ways of failing to reach the block.
inline constexpr const char* kMsgCreateObjectFailed = "共有メモリを作成できませんでした。";
inline constexpr const char* kMsgCreateViewFailed = "共有メモリを確保できませんでした。";
inline constexpr const char* kMsgOpenObjectFailed = "共有メモリを開けませんでした。";
inline constexpr const char* kMsgOpenViewFailed = "共有メモリをマッピングすることが出来ませんでした。";
inline constexpr const char* kMsgCaptionError = "Error";

// A view of the word. Every access is one atomic 32-bit operation, so the
// window, the worker, and other processes can share it without a lock.
class StateWord {
public:
    StateWord() = default;
    explicit StateWord(int32_t* word) : m_word(word) {}

    bool IsValid() const { return m_word != nullptr; }
    int32_t Load() const { return std::atomic_ref<int32_t>(*m_word).load(); }
    void Store(int32_t value) const { std::atomic_ref<int32_t>(*m_word).store(value); }
    // Replaces `expected` by `desired` in one step; false when the word held
    // something else.
    bool CompareExchange(int32_t expected, int32_t desired) const
    {
        return std::atomic_ref<int32_t>(*m_word).compare_exchange_strong(expected, desired);
    }

private:
    int32_t* m_word = nullptr;
};

// What a scan tests before it enters a folder: the shared word reading
// SS_STOP, or a stop flag of the scan's own (set when its program ends,
// without writing the word that other instances share). Either may be
// missing: an invalid word, a null flag.
inline bool StopRequested(StateWord word, const std::atomic<bool>* ownStop)
{
    return (word.IsValid() && word.Load() == SS_STOP) || (ownStop != nullptr && ownStop->load());
}

// One side's reach of the named block: its handle and its view. The window
// creates the block, or uses the one that exists under the name; its
// workers take their handles from the window's.
class SharedStateBlock {
public:
    using Result = SharedMemory::Result;

    // Window side: creates the block, or uses the existing one.
    Result Create(const char* name = kSharedBlockName);
    // Any other side (another process, a tool): opens the existing block
    // by name.
    Result Open(const char* name = kSharedBlockName);
    // Worker side, in two steps. On the window's thread: a handle of its own
    // on the window's block (see SharedMemory::ShareHandleOf), so that the
    // window and its workers share one block for the window's whole life,
    // whatever becomes of the name. On the worker's thread: its own view.
    void ShareHandleOf(const SharedStateBlock& window) { m_memory.ShareHandleOf(window.m_memory); }
    Result MapShared();
    // Closes the handle; the view stays valid. Safe to call twice.
    void CloseHandle() { m_memory.CloseHandle(); }
    bool HasHandle() const { return m_memory.HasHandle(); }

    StateWord Word() const { return StateWord(static_cast<int32_t*>(m_memory.View())); }

    // The message to show for a failed Create or Open; nullptr for Ok.
    static const char* CreateFailureMessage(Result result);
    static const char* OpenFailureMessage(Result result);

private:
    SharedMemory m_memory;
};

}  // namespace tamboro
