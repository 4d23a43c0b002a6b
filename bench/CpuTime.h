// Processor time as the benchmarks count it: the calling thread's, or the whole process's
// (every thread, user and system), in seconds.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

inline double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// User and system time of a finished child process, from its rusage.
inline double CpuSecondsOf(const rusage& usage)
{
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Processor time of every thread of this process now, in seconds, summed by thread name
// (/proc/self/task/*/comm; the main thread as "main"). Linux names another thread's CPU clock by
// its id, as pthread_getcpuclockid does for threads of one's own: (~tid << 3) | 6.
inline std::map<std::string, double> CpuSecondsByThreadName()
{
    std::map<std::string, double> byName;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        const pid_t tid = pid_t(std::stol(entry.path().filename().string()));
        std::string name = "main";
        if (tid != getpid())
            std::getline(std::ifstream(entry.path() / "comm"), name);
        timespec used{};
        const clockid_t clock = clockid_t((~clockid_t(tid) << 3) | 6);
        if (clock_gettime(clock, &used) == 0)
            byName[name] += double(used.tv_sec) + double(used.tv_nsec) / 1e9;
    }
    return byName;
}
