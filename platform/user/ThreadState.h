// What the user module keeps per thread: the thread's message queue, made on first use. When
// the thread ends, its windows are dropped without calling their procedures (nothing may run
// on a thread that is going away) and the queue closes once no poster holds it any more.
//
// Only the thread itself uses its ThreadState.
#pragma once

#include "MessageQueue.h"

#include <memory>

namespace quillet::user {

class ThreadState
{
public:
    // The calling thread's state.
    static ThreadState& Current();

    ThreadState(const ThreadState&) = delete;
    ThreadState& operator=(const ThreadState&) = delete;
    ~ThreadState();

    // The thread's queue, created on first use; null when its descriptors cannot be opened.
    // Throws std::bad_alloc.
    const std::shared_ptr<MessageQueue>& Queue();
    // The queue if the thread has one already, else null.
    const std::shared_ptr<MessageQueue>& ExistingQueue() const { return queue; }

private:
    ThreadState() = default;

    std::shared_ptr<MessageQueue> queue;
};

} // namespace quillet::user
