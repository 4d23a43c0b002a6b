#include "ThreadState.h"

#include "WindowTable.h"

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

extern "C" DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(gettid());
}
