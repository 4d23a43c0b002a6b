// quillet-cli profiles: the system encoding profiles of one version that can record audio.
#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "TabOutput.h"

namespace {

// The catalogue versions by their major number, as the engine's wm_profile_version has them.
LONG ProfileVersion(const std::string& text)
{
    const long major = ParseInteger(text, "the profile version", 4, 9);
    if (major != 4 && major != 7 && major != 8 && major != 9)
        throw UsageError("the profile version must be 4, 7, 8 or 9, not " + text);
    return LONG(major) << 16;
}

int RunProfiles(const CommandLine& line)
{
    const LONG version = ProfileVersion(line.Positionals().empty() ? "8" : line.Positionals()[0]);
    AutomationObject helper = AutomationObject::Create(WMAHelperProgId);
    Variant list = helper.Call("GetAvailableSystemProfilesInfo", {Variant::Long(version)});
    PrintRecord({"index", "id", "bitrate", "name", "description"});
    for (AutomationObject& profile : ObjectsOf(list, "WMAProfileInfo"))
        PrintRecord({std::to_string(LongOf(profile.Get("Index"))), TextOf(profile.Get("Id")),
                     std::to_string(LongOf(profile.Get("Bitrate"))), TextOf(profile.Get("Name")),
                     TextOf(profile.Get("Description"))});
    return ExitSuccess;
}

} // namespace

extern const CommandInfo ProfilesCommand = {
    "profiles",
    "[4|7|8|9]",
    "List the encoding profiles of one catalogue version (default 8) that record audio alone.",
    "Output: a header line, then one line per profile in the catalogue's order, with the fields\n"
    "  index        the profile's place among all profiles of the version\n"
    "  id           its GUID, the value of record --profile\n"
    "  bitrate      bits per second\n"
    "  name, description\n"
    "Fields are separated by tabs.\n",
    {},
    0,
    1,
    RunProfiles,
};
