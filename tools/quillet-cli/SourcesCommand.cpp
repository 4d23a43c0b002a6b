// quillet-cli sources: the capture sources that WMAHelper lists, with their pins.
#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "TabOutput.h"

namespace {

// The pin ids of one direction, joined by "|".
std::string PinIds(AutomationObject& source, const char* countName, const char* idName)
{
    std::string ids;
    const LONG count = LongOf(source.Get(countName));
    for (LONG i = 0; i < count; ++i) {
        if (i > 0)
            ids += '|';
        ids += TextOf(source.Get(idName, {Variant::Long(i)}));
    }
    return ids;
}

int RunSources(const CommandLine&)
{
    AutomationObject helper = AutomationObject::Create(WMAHelperProgId);
    Variant list = helper.Call("GetAvailableCaptureSourcesInfo");
    PrintRecord({"name", "input pins", "output pins"});
    for (AutomationObject& source : ObjectsOf(list, "AudioCaptureSourceInfo"))
        PrintRecord({TextOf(source.Get("FriendlyName")),
                     PinIds(source, "InputPinsCount", "InputPinId"),
                     PinIds(source, "OutputPinsCount", "OutputPinId")});
    return ExitSuccess;
}

} // namespace

extern const CommandInfo SourcesCommand = {
    "sources",
    "",
    "List the audio capture sources and their pins.",
    "Output: a header line, then one line per source in the system's order, with the fields\n"
    "  name         the source's friendly name, the value of record --source\n"
    "  input pins   the ids of its recording lines (values of record --line), separated by |\n"
    "  output pins  the ids of its audio capture outputs, separated by |\n"
    "Fields are separated by tabs.\n",
    {},
    0,
    0,
    RunSources,
};
