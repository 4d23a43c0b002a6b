// A compile error that names the file and line of the offending input.
#pragma once

#include <stdexcept>
#include <string>

namespace idlc {

class IdlError : public std::runtime_error
{
public:
    IdlError(const std::string& file, int line, const std::string& message)
        : std::runtime_error(file + ":" + std::to_string(line) + ": error: " + message)
    {
    }
};

} // namespace idlc
