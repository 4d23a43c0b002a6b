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
    if (queue)
        WindowTable::Instance().RemoveThread(queue->ThreadId());
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
