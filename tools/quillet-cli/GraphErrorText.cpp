#include "GraphErrorText.h"

#include "TabOutput.h"

namespace {

// DirectShow's event codes, as the engine passes them on.
constexpr LONG kErrorAbort = 3;
constexpr LONG kDeviceLost = 31;

// The failures that end a graph, as the platform's filters report them: the writer's file
// system errors (mapped from errno as a Windows writer would report them) and the audio
// server's.
struct ResultWords
{
    HRESULT hr;
    const char* words;
};

constexpr ResultWords kResultWords[] = {
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "the disk is full"},
    // What EFBIG becomes: the file system's or the process's largest file was reached.
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), "the file is too large for the file system"},
    {HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), "the file could not be written"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "the folder of the file does not exist"},
    {E_ACCESSDENIED, "the file may not be written"},
    {E_OUTOFMEMORY, "the system ran out of memory"},
    {HRESULT_FROM_WIN32(1722), "the audio server went away"},   // RPC_S_SERVER_UNAVAILABLE
    {HRESULT_FROM_WIN32(1167), "the audio device was removed"}, // ERROR_DEVICE_NOT_CONNECTED
};

const char* WordsFor(HRESULT hr)
{
    for (const ResultWords& entry : kResultWords)
        if (entry.hr == hr)
            return entry.words;
    return nullptr;
}

} // namespace

bool GraphErrorHasResult(LONG code)
{
    return code == kErrorAbort;
}

std::string GraphErrorWords(LONG code, LONG parameter)
{
    if (code == kDeviceLost)
        return "the capture device was removed";
    if (code != kErrorAbort)
        return {};
    const char* words = WordsFor(HRESULT(parameter));
    return words ? words : "the graph stopped on an error";
}

std::string GraphErrorText(LONG code, LONG parameter)
{
    const std::string words = GraphErrorWords(code, parameter);
    if (words.empty())
        return "event " + std::to_string(code) + " (" + FormatHex(parameter) + ")";
    if (!GraphErrorHasResult(code))
        return words;
    return words + " (" + FormatHex(parameter) + ")";
}
