// The process-wide table of window classes, keyed by name without regard to case (or by the
// atom RegisterClassA returned). Any thread.
#pragma once

#include "user/User.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace quillet::user {

// What a window keeps of its class.
struct WindowClass
{
    std::string name; // as registered
    ATOM atom = 0;
    WNDPROC proc = nullptr;
    int windowExtraBytes = 0;
    HINSTANCE instance = nullptr;
};

class WindowClassTable
{
public:
    // The one table of the process; it lives until the process ends.
    static WindowClassTable& Instance();

    // Adds a class; 0 with the Win32 error in *error when it cannot. Throws std::bad_alloc.
    ATOM Register(const WNDCLASSA& wc, LONG* error);
    // Removes a class; the Win32 error, ERROR_SUCCESS when done. Throws std::bad_alloc.
    LONG Unregister(LPCSTR name);
    // The class a name or an atom names. Throws std::bad_alloc.
    std::optional<WindowClass> Find(LPCSTR name);

private:
    WindowClassTable() = default;
    static std::string Key(LPCSTR name);
    std::map<std::string, WindowClass>::iterator FindLocked(LPCSTR name);
    ATOM NextAtomLocked();

    std::mutex mutex;
    std::map<std::string, WindowClass> classes; // keyed by the lower-case name
    ATOM lastAtom = 0xBFFF;
};

} // namespace quillet::user
