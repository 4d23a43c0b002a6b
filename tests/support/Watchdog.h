// Runs a call that must return at once, and gives up on it after a time, so that a call that
// hangs fails its test instead of stalling the suite. A call blocked on a named pipe is then
// set free by opening the pipe's other end, so that the test can still end.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

// True when body returned within limit. Otherwise the pipe at fifoPath is opened for both
// reading and writing and drained until body returns, and the result is false.
template <class Body>
bool ReturnsWithin(std::chrono::milliseconds limit, const std::string& fifoPath, Body body)
{
    std::packaged_task<void()> task(body);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    const bool inTime = done.wait_for(limit) == std::future_status::ready;
    if (!inTime) {
        const int end = open(fifoPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        char sink[4096];
        while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            if (end >= 0)
                while (read(end, sink, sizeof sink) > 0) {
                }
        if (end >= 0)
            close(end);
    }
    runner.join();
    return inTime;
}
