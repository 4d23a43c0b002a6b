#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "CommandErrors.h"
#include "TabOutput.h"

namespace {

const OptionInfo* FindOption(const CommandInfo& command, std::string_view name)
{
    for (const OptionInfo& option : command.options)
        if (name == option.name)
            return &option;
    return nullptr;
}

double ParseNumber(const std::string& text, const std::string& what, double min, double max)
{
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value))
        throw UsageError(what + " must be a number, not \"" + text + "\"");
    if (value < min || value > max)
        throw UsageError(what + " must lie between " + FormatNumber(min) + " and " +
                         FormatNumber(max) + ", not " + text);
    return value;
}

} // namespace

CommandLine::CommandLine(const CommandInfo& command, std::vector<std::string> words)
    : command(command)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            helpWanted = true;
            continue;
        }
        if (word.rfind("--", 0) != 0)
            throw UsageError("unknown option " + word);
        size_t equals = word.find('=');
        std::string name =
            word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionInfo* option = FindOption(command, name);
        if (!option)
            throw UsageError("unknown option --" + name);
        std::string value;
        if (!option->valueName) {
            if (equals != std::string::npos)
                throw UsageError("--" + name + " takes no value");
        } else if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            throw UsageError("--" + name + " needs a value (" + option->valueName + ")");
        }
        options.emplace_back(std::move(name), std::move(value));
    }
    if (helpWanted)
        return;
    if (positionals.size() < command.minPositionals)
        throw UsageError("missing " + std::string(command.arguments));
    if (positionals.size() > command.maxPositionals)
        throw UsageError("unexpected argument \"" + positionals[command.maxPositionals] + "\"");
}

std::optional<std::string> CommandLine::Value(std::string_view name) const
{
    std::optional<std::string> value;
    for (const auto& [given, text] : options)
        if (given == name)
            value = text;
    return value;
}

std::optional<long> CommandLine::Integer(std::string_view name, long min, long max) const
{
    std::optional<std::string> text = Value(name);
    if (!text)
        return std::nullopt;
    return ParseInteger(*text, "--" + std::string(name), min, max);
}

std::optional<double> CommandLine::Number(std::string_view name, double min, double max) const
{
    std::optional<std::string> text = Value(name);
    if (!text)
        return std::nullopt;
    return ParseNumber(*text, "--" + std::string(name), min, max);
}

long ParseInteger(const std::string& text, const std::string& what, long min, long max)
{
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0)
        throw UsageError(what + " must be a whole number, not \"" + text + "\"");
    if (value < min || value > max)
        throw UsageError(what + " must lie between " + std::to_string(min) + " and " +
                         std::to_string(max) + ", not " + text);
    return value;
}

std::string HelpText(const CommandInfo& command)
{
    std::string text = "Usage: quillet-cli " + std::string(command.name);
    if (!command.options.empty())
        text += " [OPTIONS]";
    if (*command.arguments)
        text += " " + std::string(command.arguments);
    text += "\n\n" + std::string(command.summary) + "\n";
    if (!command.options.empty()) {
        text += "\nOptions:\n";
        for (const OptionInfo& option : command.options) {
            std::string left = "  --" + std::string(option.name);
            if (option.valueName)
                left += " " + std::string(option.valueName);
            left.resize(std::max<size_t>(left.size() + 2, 24), ' ');
            text += left + option.help + "\n";
        }
        text += "  --help                Show this help.\n";
    }
    text += "\n" + std::string(command.details);
    return text;
}
