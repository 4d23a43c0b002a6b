#include "GraphWatch.h"

#include "GraphErrorText.h"
#include "TabOutput.h"

namespace {

// The names of the engine's DSGraphStates values.
const char* StateName(LONG state)
{
    switch (state) {
    case 1:
        return "stopped";
    case 2:
        return "paused";
    case 3:
        return "running";
    default:
        return "error";
    }
}

} // namespace

std::vector<std::pair<std::string, EventHandler>> GraphWatch::Handlers()
{
    return {
        {"PositionProgress",
         [](const EventArguments& args) {
             PrintRecord({"PositionProgress", FormatNumber(DoubleOf(args[0]))});
             FlushRecords();
         }},
        {"GraphError",
         [this](const EventArguments& args) {
             failureCode = LongOf(args[0]);
             failureResult = LongOf(args[1]);
             failed = true;
             // A lost device's parameter is the filter's address, which means nothing here.
             PrintRecord({"GraphError", std::to_string(failureCode),
                          GraphErrorHasResult(failureCode) ? FormatHex(failureResult) : "-",
                          std::to_string(LongOf(args[2])),
                          GraphErrorWords(failureCode, failureResult)});
             FlushRecords();
         }},
        {"GraphStateChange",
         [this](const EventArguments& args) {
             const LONG state = LongOf(args[0]);
             PrintRecord({"GraphStateChange", std::to_string(state), StateName(state)});
             FlushRecords();
             if (state == 3)
                 running = true;
             else if (state == 1 && running)
                 ended = true;
         }},
    };
}

std::string GraphWatch::FailureText() const
{
    return GraphErrorText(failureCode, failureResult);
}
