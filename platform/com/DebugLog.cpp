#include "com/DebugLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace quillet {

namespace {
const std::string& EnabledChannels()
{
    static const std::string channels = [] {
        const char* value = std::getenv("QUILLET_DEBUG");
        return std::string(",") + (value ? value : "") + ",";
    }();
    return channels;
}
} // namespace

bool DebugChannelEnabled(const char* channel)
{
    const std::string& channels = EnabledChannels();
    if (channels.size() <= 2)
        return false;
    if (channels.find(",all,") != std::string::npos)
        return true;
    std::string wanted = ",";
    wanted.append(channel).push_back(',');
    return channels.find(wanted) != std::string::npos;
}

void DebugLog(const char* channel, const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // One write per line keeps lines from different threads whole.
    char line[1200];
    int length = std::snprintf(line, sizeof line, "quillet:%s: %s\n", channel, message);
    if (length > 0)
        (void)!write(STDERR_FILENO, line, std::min<size_t>(size_t(length), sizeof line - 1));
}

} // namespace quillet
