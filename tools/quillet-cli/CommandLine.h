// The words of one command: its options (long names, "--name VALUE" or "--name=VALUE") and
// its positional arguments, checked against what the command declares. Everything wrong with
// them throws UsageError with a sentence that says what.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CommandLine;

// One option that a command accepts; a null value name makes it a flag without a value.
struct OptionInfo
{
    const char* name; // without the leading "--"
    const char* valueName;
    const char* help;
};

// A command of the program, as its help shows it.
struct CommandInfo
{
    const char* name;
    const char* arguments; // the synopsis after the options, such as "OUTPUT"
    const char* summary;   // one line for the program's own help
    const char* details;   // the rest of the command's --help, with its output format
    std::span<const OptionInfo> options;
    size_t minPositionals;
    size_t maxPositionals;
    int (*run)(const CommandLine& line);
};

class CommandLine
{
public:
    // Parses the words that follow the command's name.
    CommandLine(const CommandInfo& command, std::vector<std::string> words);

    const CommandInfo& Command() const { return command; }
    bool HelpWanted() const { return helpWanted; }
    const std::vector<std::string>& Positionals() const { return positionals; }
    // Every option with its value, in the order given.
    const std::vector<std::pair<std::string, std::string>>& Options() const { return options; }
    // The last value given for an option.
    std::optional<std::string> Value(std::string_view name) const;
    // The last value given for an option, as a whole number within [min, max].
    std::optional<long> Integer(std::string_view name, long min, long max) const;
    // The last value given for an option, as a number within [min, max].
    std::optional<double> Number(std::string_view name, double min, double max) const;

private:
    const CommandInfo& command;
    bool helpWanted = false;
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options;
};

// A whole number within [min, max]; `what` names the value in the UsageError.
long ParseInteger(const std::string& text, const std::string& what, long min, long max);

// The text that --help prints for a command.
std::string HelpText(const CommandInfo& command);
