#include "ThreadState.h"

#include "WindowTable.h"

#include <pthread.h>
#include <unistd.h>

namespace quillet::user {

ThreadState& ThreadState::Current()
{
    static thread_local ThreadState state;
    return state;
}

ThreadState::~ThreadState()
{
    if (!queue)
        return;
    // Messages that will never be delivered still own what they carry.
    for (auto [hwnd, disposer] : WindowTable::Instance().RemoveThread(queue->ThreadId()))
        for (const MSG& msg : queue->Purge(hwnd))
            disposer(hwnd, msg.message, msg.wParam, msg.lParam);
}

const std::shared_ptr<MessageQueue>& ThreadState::Queue()
{
    if (!queue)
        queue = MessageQueue::Create(GetCurrentThreadId());
    return queue;
}

} // namespace quillet::user

namespace {
// The message functions ask for the thread's id on every call; gettid is a system call each time.
thread_local DWORD cachedThreadId = 0;
// A forked child's thread has an id of its own.
[[maybe_unused]] const int forgetIdInChild =
    pthread_atfork(nullptr, nullptr, [] { cachedThreadId = 0; });
} // namespace

extern "C" DWORD GetCurrentThreadId()
{
    if (cachedThreadId == 0)
        cachedThreadId = static_cast<DWORD>(gettid());
    return cachedThreadId;
}
