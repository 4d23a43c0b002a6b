// quillet-cli play: plays a clip to its end through SimplePlayback, printing its events.
#include <cstdio>

#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "GraphWatch.h"
#include "MessagePump.h"
#include "StopSignals.h"
#include "TabOutput.h"

namespace {

int RunPlay(const CommandLine& line)
{
    const std::string path = line.Positionals()[0];
    const std::optional<long> volume = line.Integer("volume", 1, 100);

    StopSignals signals;
    GraphWatch watch;
    PrintRecord({"event", "arguments"});
    AutomationObject playback = AutomationObject::Create(SimplePlaybackProgId);
    EventSink::Connection events = EventSink::Connect(playback, watch.Handlers());
    playback.Call("Initialize", {Variant::Utf8(path)});
    if (volume)
        playback.Put("Volume", Variant::Long(LONG(*volume)));
    playback.Call("Run");
    // The engine stops the graph itself at the end of the stream and says so.
    const PumpEnd end =
        PumpMessages([&] { return watch.Ended() || watch.Failed(); }, std::nullopt, &signals);
    if (end == PumpEnd::Signalled)
        std::fprintf(stderr, "quillet-cli play: stopping on signal %d\n", signals.Take());
    if (!watch.Ended())
        playback.Call("Stop");
    // Neither the end of the stream nor Stop moves the position back.
    const double position = DoubleOf(playback.Call("GetPosition"));
    playback.Call("Reset");
    events.Close();
    PrintRecord({"played", path, FormatNumber(std::max(position, 0.0) / 1e7)});
    if (watch.Failed())
        throw CommandFailure("the playback graph failed: " + watch.FailureText());
    return ExitSuccess;
}

constexpr OptionInfo Options[] = {
    {"volume", "N", "Play at volume N, 1 (silent) to 100 (full), in steps of 1 dB."},
};

} // namespace

extern const CommandInfo PlayCommand = {
    "play",
    "FILE",
    "Play a clip to its end, or until Ctrl+C (SIGINT or SIGTERM).",
    "Output: the header \"event<TAB>arguments\", then one line per event of the engine, with\n"
    "its name and its arguments:\n"
    "  PositionProgress  POSITION (in units of 100 ns)\n"
    "  GraphError        CODE HRESULT 0 TEXT (what failed, in words; HRESULT is - for a\n"
    "                    lost device)\n"
    "  GraphStateChange  STATE NAME (1 stopped, 2 paused, 3 running)\n"
    "and last \"played<TAB>FILE<TAB>SECONDS\", the position where playing ended.\n",
    Options,
    1,
    1,
    RunPlay,
};
