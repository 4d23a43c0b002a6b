// quillet-cli: the engine's classes from a shell. Every member is called by name through
// IDispatch, as a scripting language would call it; see --help for the commands.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CommandErrors.h"
#include "Commands.h"
#include "com/ComApi.h"
#include "registry/BuildRegistry.h"

namespace {

const CommandInfo* const CommandTable[] = {&SourcesCommand, &ProfilesCommand, &RecordCommand,
                                           &PlayCommand,    &LengthCommand,   &AttrsCommand};

void PrintProgramHelp(FILE* stream)
{
    std::fprintf(stream, "Usage: quillet-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
    for (const CommandInfo* command : CommandTable)
        std::fprintf(stream, "  %-10s%s\n", command->name, command->summary);
    std::fprintf(stream,
                 "\n'quillet-cli COMMAND --help' explains a command. Each prints a header line,\n"
                 "then one record per line with tab-separated fields, in which a tab, a line\n"
                 "break and a backslash are written as \\t, \\n and \\\\. Exit status: 0 on\n"
                 "success, 1 when the engine or the system refuses the work, 2 when the command\n"
                 "line is wrong.\n"
                 "The engine is found in the registry at $QUILLET_REGISTRY_DIR; without it, in\n"
                 "the registry folder beside the program's own folder (where the build registers\n"
                 "the engine), else in ~/.config/quillet, where an installed program registers\n"
                 "its engine on first start.\n");
}

// COM on this thread for the length of one command; the command has released every engine
// object before this ends, so the engine can be unloaded.
class ComApartment
{
public:
    ComApartment()
    {
        HRESULT hr = CoInitialize(nullptr);
        if (FAILED(hr))
            throw AutomationError("initialising COM", hr, {});
    }
    ~ComApartment()
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

int RunCommand(const CommandInfo& command, std::vector<std::string> words)
{
    try {
        CommandLine line(command, std::move(words));
        if (line.HelpWanted()) {
            std::fputs(HelpText(command).c_str(), stdout);
            return ExitSuccess;
        }
        ComApartment apartment;
        return command.run(line);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "quillet-cli %s: %s\nTry 'quillet-cli %s --help'.\n", command.name,
                     error.what(), command.name);
        return ExitUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillet-cli %s: %s\n", command.name, error.what());
        return ExitFailure;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Records are gathered and written out on each position tick and on the lines a person
    // waits for (FlushRecords), so that a reader follows a recording at ten writes a second
    // rather than one for each of its fifty buffers.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    // A failed first-start registration is only reported: the command's own class creation
    // then says which class is missing, and commands such as --help need no engine.
    if (HRESULT hr = quillet::UseProgramRegistry(); FAILED(hr))
        std::fprintf(stderr,
                     "quillet-cli: cannot register the engine in the user's registry (0x%08X)\n",
                     unsigned(hr));
    if (argc < 2) {
        PrintProgramHelp(stderr);
        return ExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintProgramHelp(stdout);
        return ExitSuccess;
    }
    for (const CommandInfo* command : CommandTable)
        if (name == command->name)
            return RunCommand(*command, std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "quillet-cli: unknown command \"%s\"\nTry 'quillet-cli --help'.\n",
                 name.c_str());
    return ExitUsage;
}
