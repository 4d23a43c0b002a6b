// quillet-cli length: how long one stream of a media file lasts, measured by WMAHelper.
#include <filesystem>

#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "TabOutput.h"

namespace {

int RunLength(const CommandLine& line)
{
    const std::string& path = line.Positionals()[0];
    const LONG stream = line.Positionals().size() > 1
                            ? LONG(ParseInteger(line.Positionals()[1], "STREAM", 0, 0x7FFFFFFF))
                            : 0;
    // The engine passes on its media detector's bare "not found" code for a missing file; a
    // user is better told in words.
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw CommandFailure("there is no file \"" + path + "\"");
    AutomationObject helper = AutomationObject::Create(WMAHelperProgId);
    const double milliseconds =
        DoubleOf(helper.Call("GetStreamLength", {Variant::Utf8(path), Variant::Long(stream)}));
    PrintRecord({"file", "stream", "milliseconds"});
    PrintRecord({path, std::to_string(stream), FormatNumber(milliseconds)});
    return ExitSuccess;
}

} // namespace

extern const CommandInfo LengthCommand = {
    "length",
    "FILE [STREAM]",
    "Print how long stream STREAM (default 0, the first) of a media file lasts.",
    "Output: a header line, then one line with the fields file, stream and milliseconds,\n"
    "separated by tabs.\n",
    {},
    1,
    2,
    RunLength,
};
