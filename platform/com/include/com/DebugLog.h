// Debug channels, one per module ("com", "registry", "user", "graph", "pulse", "asf", ...).
// QUILLET_DEBUG lists the channels to print on standard error, separated by commas, or "all".
// Any thread may log.
#pragma once

#include <cstdarg>

namespace quillet {

// True when the channel was named in QUILLET_DEBUG (read once per process).
bool DebugChannelEnabled(const char* channel);

// Prints "quillet:channel: message" to standard error when the channel is enabled.
void DebugLog(const char* channel, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace quillet

#define QUILLET_LOG(channel, ...)                                                                  \
    do {                                                                                           \
        if (::quillet::DebugChannelEnabled(channel))                                               \
            ::quillet::DebugLog(channel, __VA_ARGS__);                                             \
    } while (false)
