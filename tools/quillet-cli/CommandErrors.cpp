#include "CommandErrors.h"

#include <cstdio>

namespace {

// What the system would say about the codes that reach this program without a description of
// their own (the engine leaves some failures undescribed and passes platform codes through).
const char* SystemText(HRESULT hr)
{
    struct Entry
    {
        HRESULT hr;
        const char* text;
    };
    static constexpr Entry entries[] = {
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_FAIL, "Unspecified error"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_ACCESSDENIED, "Access is denied"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified"},
        {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified"},
        {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "There is not enough space on the disk"},
        // EFBIG: the file system's or the process's largest file was reached.
        {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), "The file is too large for the file system"},
        {HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), "The system cannot write to the file"},
        // The platform's codes for an audio server that cannot be reached, or a device gone.
        {HRESULT_FROM_WIN32(1722), "The audio server is unavailable"}, // RPC_S_SERVER_UNAVAILABLE
        {HRESULT_FROM_WIN32(1167), "The device is not connected"},     // ERROR_DEVICE_NOT_CONNECTED
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {CLASS_E_CLASSNOTAVAILABLE, "Class not available"},
        {DISP_E_UNKNOWNNAME, "Unknown name"},
        {DISP_E_MEMBERNOTFOUND, "Member not found"},
        {DISP_E_TYPEMISMATCH, "Type mismatch"},
        {DISP_E_BADPARAMCOUNT, "Invalid number of parameters"},
        {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional"},
        {DISP_E_OVERFLOW, "Out of present range"},
    };
    for (const Entry& entry : entries)
        if (entry.hr == hr)
            return entry.text;
    return "no additional info is available";
}

std::string ComposeMessage(const std::string& context, HRESULT hr, const std::string& description)
{
    char code[32];
    std::snprintf(code, sizeof code, " (code 0x%08X)", unsigned(hr));
    return context + ": " + (description.empty() ? SystemText(hr) : description) + code;
}

} // namespace

AutomationError::AutomationError(const std::string& context, HRESULT hr,
                                 const std::string& description)
    : std::runtime_error(ComposeMessage(context, hr, description)), hr(hr)
{
}
