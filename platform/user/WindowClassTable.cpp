#include "WindowClassTable.h"

#include "WindowTable.h"
#include "com/DebugLog.h"

#include <algorithm>

namespace quillet::user {

namespace {
// String atoms live in this range on Windows, and callers may test for it.
constexpr ATOM FirstAtom = 0xC000;
constexpr ATOM LastAtom = 0xFFFF;
} // namespace

WindowClassTable& WindowClassTable::Instance()
{
    // Never destroyed: threads that end after main returns still unregister through it.
    static WindowClassTable* table = new WindowClassTable;
    return *table;
}

std::string WindowClassTable::Key(LPCSTR name)
{
    // Only ASCII letters fold; other bytes of a UTF-8 name compare exactly.
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::map<std::string, WindowClass>::iterator WindowClassTable::FindLocked(LPCSTR name)
{
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
        return std::find_if(classes.begin(), classes.end(),
                            [&](const auto& entry) { return entry.second.atom == atom; });
    }
    return classes.find(Key(name));
}

ATOM WindowClassTable::NextAtomLocked()
{
    for (unsigned tries = 0; tries <= LastAtom - FirstAtom; ++tries) {
        lastAtom = lastAtom >= LastAtom ? FirstAtom : static_cast<ATOM>(lastAtom + 1);
        bool used = std::any_of(classes.begin(), classes.end(),
                                [&](const auto& entry) { return entry.second.atom == lastAtom; });
        if (!used)
            return lastAtom;
    }
    return 0;
}

ATOM WindowClassTable::Register(const WNDCLASSA& wc, LONG* error)
{
    if (!wc.lpszClassName || IS_INTRESOURCE(wc.lpszClassName) || !wc.lpfnWndProc ||
        wc.cbWndExtra < 0 || wc.cbClsExtra < 0) {
        *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::lock_guard lock(mutex);
    std::string key = Key(wc.lpszClassName);
    if (classes.count(key)) {
        QUILLET_LOG("user", "RegisterClassA(\"%s\"): already registered", wc.lpszClassName);
        *error = ERROR_CLASS_ALREADY_EXISTS;
        return 0;
    }
    ATOM atom = NextAtomLocked();
    if (!atom) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    classes.emplace(
        key, WindowClass{wc.lpszClassName, atom, wc.lpfnWndProc, wc.cbWndExtra, wc.hInstance});
    QUILLET_LOG("user", "RegisterClassA(\"%s\"): atom 0x%04x", wc.lpszClassName, atom);
    return atom;
}

LONG WindowClassTable::Unregister(LPCSTR name)
{
    if (!name)
        return ERROR_CLASS_DOES_NOT_EXIST;
    std::lock_guard lock(mutex);
    auto found = FindLocked(name);
    if (found == classes.end())
        return ERROR_CLASS_DOES_NOT_EXIST;
    if (WindowTable::Instance().CountOfClass(found->second.atom) > 0) {
        QUILLET_LOG("user", "UnregisterClassA(\"%s\"): windows of the class remain",
                    found->second.name.c_str());
        return ERROR_CLASS_HAS_WINDOWS;
    }
    QUILLET_LOG("user", "UnregisterClassA(\"%s\")", found->second.name.c_str());
    classes.erase(found);
    return ERROR_SUCCESS;
}

std::optional<WindowClass> WindowClassTable::Find(LPCSTR name)
{
    if (!name)
        return std::nullopt;
    std::lock_guard lock(mutex);
    auto found = FindLocked(name);
    if (found == classes.end())
        return std::nullopt;
    return found->second;
}

} // namespace quillet::user
