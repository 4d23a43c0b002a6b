#include "TabOutput.h"

#include <charconv>
#include <cstdio>

namespace {

std::string Escaped(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\t':
            text += "\\t";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            text += c;
        }
    }
    return text;
}

} // namespace

void PrintRecord(std::initializer_list<std::string_view> fields)
{
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            line += '\t';
        line += Escaped(field);
        first = false;
    }
    line += '\n';
    std::fputs(line.c_str(), stdout);
}

void FlushRecords()
{
    std::fflush(stdout);
}

std::string FormatNumber(double value)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

std::string FormatHex(long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}
