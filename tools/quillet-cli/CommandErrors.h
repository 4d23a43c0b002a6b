// The failures that end a command, each with the exit status that the command line documents.
// They are thrown inside the program only: never across an interface method or out of an
// event sink.
#pragma once

#include <stdexcept>
#include <string>

#include "com/Types.h"

// The exit statuses of every command.
enum ExitStatus : int
{
    ExitSuccess = 0,
    ExitFailure = 1, // the engine or the system refused the work
    ExitUsage = 2,   // the command line itself is wrong
};

// A failed engine call. The message is the context, the engine's description and the HRESULT:
// "Build: The object has not been prepared (code 0x80004005)".
class AutomationError : public std::runtime_error
{
public:
    AutomationError(const std::string& context, HRESULT hr, const std::string& description);

    HRESULT Result() const { return hr; }

private:
    HRESULT hr;
};

// Work that cannot go on for a reason that the program found itself, such as a capture source
// that the engine replaced by another one.
class CommandFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A command line that the program cannot understand; the text says what is wrong with it.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
