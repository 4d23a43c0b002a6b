// quillet-cli record: a recording through WMACapture, driven by names alone, with every event
// the engine sends printed as it arrives.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "dshow/FileSizeLimit.h"

#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "GraphWatch.h"
#include "MessagePump.h"
#include "StopSignals.h"
#include "TabOutput.h"

namespace {

// What the capture's own events tell the wait loop.
struct CaptureWatch
{
    std::optional<FileSizeLimit> limit;
    bool limitReached = false;
    bool samplesAsked = false; // SampleData will come
    std::optional<std::chrono::steady_clock::time_point> firstSample;
};

// The elements of a byte-array argument; empty for anything else.
std::span<const BYTE> BytesOf(const VARIANT& value)
{
    if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray || !value.parray->pvData)
        return {};
    return {static_cast<const BYTE*>(value.parray->pvData), value.parray->rgsabound[0].cElements};
}

template <class T> T ReadAt(std::span<const BYTE> bytes, size_t offset)
{
    T value{};
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The bit rate of the profile that the capture records with, 0 when the catalogue does not
// know it; the size limit's margin depends on it.
uint32_t ProfileBitRate(AutomationObject& capture)
{
    try {
        const std::string id = TextOf(capture.Get("ProfileId"));
        const LONG version = LongOf(capture.Get("ProfileVersion"));
        AutomationObject helper = AutomationObject::Create(WMAHelperProgId);
        Variant list = helper.Call("GetAvailableSystemProfilesInfo", {Variant::Long(version)});
        for (AutomationObject& profile : ObjectsOf(list, "WMAProfileInfo"))
            if (strcasecmp(TextOf(profile.Get("Id")).c_str(), id.c_str()) == 0)
                return uint32_t(std::max<LONG>(LongOf(profile.Get("Bitrate")), 0));
    } catch (const AutomationError& error) {
        std::fprintf(stderr, "quillet-cli record: reading the profile's bit rate: %s\n",
                     error.what());
    }
    return 0;
}

// The capture's own events, besides those that every graph has.
std::vector<std::pair<std::string, EventHandler>> CaptureHandlers(CaptureWatch& watch)
{
    return {
        {"SampleFormat",
         [&watch](const EventArguments& args) {
             // The payload is a media-type record of 72 bytes followed by its format block,
             // for audio a WAVEFORMATEX: tag, channels, rate, bytes per second, block, bits.
             std::span<const BYTE> payload = BytesOf(args[0]);
             std::string tag, channels, rate, bits;
             if (payload.size() >= 72 + 16 && ReadAt<uint32_t>(payload, 64) >= 16) {
                 tag = std::to_string(ReadAt<uint16_t>(payload, 72));
                 channels = std::to_string(ReadAt<uint16_t>(payload, 74));
                 rate = std::to_string(ReadAt<uint32_t>(payload, 76));
                 bits = std::to_string(ReadAt<uint16_t>(payload, 86));
             }
             // Samples come only to a client that asks for them here.
             std::string reply;
             if (args[1].vt == (VT_BOOL | VT_BYREF) && args[1].pboolVal) {
                 *args[1].pboolVal = VARIANT_TRUE;
                 watch.samplesAsked = true;
                 reply = std::to_string(*args[1].pboolVal);
             }
             PrintRecord({"SampleFormat", tag, channels, rate, bits, reply});
         }},
        {"SampleError",
         [](const EventArguments& args) {
             PrintRecord({"SampleError", TextOf(args[0])});
         }},
        {"SampleData",
         [&watch](const EventArguments& args) {
             if (!watch.firstSample)
                 watch.firstSample = std::chrono::steady_clock::now();
             PrintRecord({"SampleData", std::to_string(BytesOf(args[0]).size()),
                          FormatNumber(DoubleOf(args[1]))});
         }},
        {"FileSizeProgress",
         [&watch](const EventArguments& args) {
             const LONG high = LongOf(args[0]);
             const LONG low = LongOf(args[1]);
             PrintRecord({"FileSizeProgress", std::to_string(high), std::to_string(low)});
             // The halves are unsigned, though they travel as signed longs.
             const uint64_t bytes = (uint64_t(uint32_t(high)) << 32) | uint32_t(low);
             if (watch.limit && watch.limit->Reached(bytes))
                 watch.limitReached = true;
         }},
    };
}

// Device and pin names compare as the engine compares them: A-Z without regard to case.
void CheckBound(AutomationObject& capture, const char* property,
                const std::optional<std::string>& wanted, const char* what)
{
    if (!wanted)
        return;
    const std::string bound = TextOf(capture.Get(property));
    if (strcasecmp(bound.c_str(), wanted->c_str()) != 0)
        throw CommandFailure("there is no " + std::string(what) + " \"" + *wanted +
                             "\" (quillet-cli sources lists them)");
}

// Waits until the recording is to stop. The seconds count from the first captured buffer, so
// that a source which starts late still gives a clip of the length asked for; without samples
// (no sample grabber in the graph) they count from Run.
PumpEnd WaitForStop(CaptureWatch& watch, const GraphWatch& graph, std::optional<double> seconds,
                    StopSignals& signals)
{
    auto stopping = [&] { return watch.limitReached || graph.Failed(); };
    PumpDeadline deadline;
    if (seconds) {
        if (watch.samplesAsked) {
            PumpEnd end = PumpMessages([&] { return stopping() || watch.firstSample.has_value(); },
                                       std::nullopt, &signals);
            if (end != PumpEnd::Done || stopping())
                return end;
        }
        deadline = watch.firstSample.value_or(std::chrono::steady_clock::now()) +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(*seconds));
    }
    return PumpMessages(stopping, deadline, &signals);
}

// The finished clip's length as the engine measures it, in seconds; 0 (with the reason on
// standard error) when there is nothing to measure.
double ClipSeconds(const std::string& path)
{
    try {
        AutomationObject helper = AutomationObject::Create(WMAHelperProgId);
        return DoubleOf(helper.Call("GetStreamLength", {Variant::Utf8(path), Variant::Long(0)})) /
               1000;
    } catch (const AutomationError& error) {
        std::fprintf(stderr, "quillet-cli record: measuring the clip: %s\n", error.what());
        return 0;
    }
}

int RunRecord(const CommandLine& line)
{
    const std::string output = line.Positionals()[0];
    const std::optional<std::string> source = line.Value("source");
    const std::optional<std::string> pin = line.Value("line");
    const std::optional<std::string> profile = line.Value("profile");
    const std::optional<long> level = line.Integer("level", 0, 100);
    const std::optional<double> seconds = line.Number("seconds", 0.001, 1e9);
    CaptureWatch watch;
    const std::optional<long> limitKb = line.Integer("limit-kb", 1, 0x7FFFFFFF);

    // From here on Ctrl+C ends the recording properly instead of killing the program.
    StopSignals signals;
    PrintRecord({"event", "arguments"});
    AutomationObject capture = AutomationObject::Create(WMACaptureProgId);
    GraphWatch graph;
    std::vector<std::pair<std::string, EventHandler>> handlers = CaptureHandlers(watch);
    for (auto& handler : graph.Handlers())
        handlers.push_back(std::move(handler));
    EventSink::Connection events = EventSink::Connect(capture, std::move(handlers));

    capture.Call("Prepare");
    if (source)
        capture.Put("SourceId", Variant::Utf8(*source));
    if (pin)
        capture.Put("InputPin", Variant::Utf8(*pin));
    if (profile)
        capture.Put("ProfileId", Variant::Utf8(*profile));
    capture.Put("OutputPath", Variant::Utf8(output));
    capture.Call("Build");
    // The engine takes its first source or line in place of one that it does not have.
    CheckBound(capture, "SourceId", source, "capture source");
    CheckBound(capture, "InputPin", pin, "input line");
    if (level)
        capture.Put("RecordLevel", Variant::Long(LONG(*level)));
    if (limitKb) {
        watch.limit.emplace(uint64_t(*limitKb), ProfileBitRate(capture));
        // A limit that the first size report would already overrun stops the recording at once.
        watch.limitReached = watch.limit->StopsAtOnce();
    }

    // With no room for a packet of audio, the clip is begun paused, so nothing captured reaches it.
    capture.Call(watch.limitReached ? "Pause" : "Run");
    if (WaitForStop(watch, graph, seconds, signals) == PumpEnd::Signalled)
        std::fprintf(stderr, "quillet-cli record: stopping on signal %d\n", signals.Take());
    const std::string path = TextOf(capture.Get("OutputPath"));
    capture.Call("Stop");
    DrainMessages(); // buffers captured before the stop are still queued
    capture.Call("Reset");
    events.Close();

    std::error_code error;
    const uintmax_t bytes = std::filesystem::file_size(path, error);
    PrintRecord(
        {"recorded", path, FormatNumber(ClipSeconds(path)), std::to_string(error ? 0 : bytes)});
    if (graph.Failed())
        throw CommandFailure("the capture graph failed: " + graph.FailureText());
    return ExitSuccess;
}

constexpr OptionInfo Options[] = {
    {"source", "NAME", "Record from the capture source NAME (default: the first)."},
    {"line", "PIN", "Record from its input line PIN (default: the first)."},
    {"profile", "ID", "Encode with the profile ID from quillet-cli profiles."},
    {"level", "PERCENT", "Set the line's record level, 0 to 100."},
    {"seconds", "N", "Stop after N seconds, counted from the first captured sound."},
    {"limit-kb", "K", "Stop when the file reaches K less 4 KB (1 KB for K up to 4)."},
};

} // namespace

extern const CommandInfo RecordCommand = {
    "record",
    "OUTPUT",
    "Record a Windows Media Audio clip into OUTPUT.",
    "The recording stops after N seconds, at the size limit, when the capture graph fails, or\n"
    "on Ctrl+C (SIGINT or SIGTERM); the clip is finished properly in every case. Without\n"
    "--seconds and --limit-kb it runs until a signal comes; a second Ctrl+C ends the program\n"
    "at once.\n\n"
    "Output: the header \"event<TAB>arguments\", then one line per event of the engine, with\n"
    "its name and its arguments:\n"
    "  SampleFormat      FORMAT-TAG CHANNELS RATE BITS REPLY (the format of the samples)\n"
    "  SampleError       TEXT\n"
    "  SampleData        BYTES TIME (the buffer's size and its time in seconds)\n"
    "  PositionProgress  POSITION (in units of 100 ns)\n"
    "  FileSizeProgress  HIGH LOW (the halves of the file's size in bytes)\n"
    "  GraphError        CODE HRESULT 0 TEXT (what failed, in words; HRESULT is - for a\n"
    "                    lost device)\n"
    "  GraphStateChange  STATE NAME (1 stopped, 2 paused, 3 running)\n"
    "and last \"recorded<TAB>PATH<TAB>SECONDS<TAB>BYTES\", the clip's length and size. A stop\n"
    "by signal exits with 0; a graph error with 1, after the last line.\n",
    Options,
    1,
    1,
    RunRecord,
};
