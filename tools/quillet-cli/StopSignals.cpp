#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

int pipeEnds[2] = {-1, -1};
struct sigaction previousInterrupt;
struct sigaction previousTerminate;

void OnSignal(int number)
{
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already tells the pump that a signal came; the byte may be dropped.
    [[maybe_unused]] ssize_t written = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals()
{
    // Without a pipe the signals keep their default action, which at least ends the program.
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Restarting keeps the engine's and the platform's blocking calls from seeing EINTR. Each
    // signal is caught once: should the thread be stuck inside the engine, a second Ctrl+C
    // still ends the program.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

StopSignals::~StopSignals()
{
    if (pipeEnds[0] < 0)
        return;
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    for (int& end : pipeEnds) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

int StopSignals::Fd() const
{
    return pipeEnds[0];
}

int StopSignals::Take()
{
    if (pipeEnds[0] < 0)
        return 0;
    unsigned char byte = 0;
    return read(pipeEnds[0], &byte, 1) == 1 ? byte : 0;
}
