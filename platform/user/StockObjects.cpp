// Stock brushes and system cursors. Hidden windows never paint, so these handles are tokens
// that only need to be distinct and non-null.
#include "user/User.h"

namespace {

struct StockObject
{
    int kind;
};

constexpr int BrushCount = NULL_BRUSH + 1;
constinit StockObject brushes[BrushCount] = {{0}, {1}, {2}, {3}, {4}, {5}};

// The system cursors, by their MAKEINTRESOURCE identifiers.
constexpr ULONG_PTR CursorIds[] = {
    32512, // IDC_ARROW
    32513, // IDC_IBEAM
    32514, // IDC_WAIT
    32515, // IDC_CROSS
    32516, // IDC_UPARROW
    32642, // IDC_SIZENWSE
    32643, // IDC_SIZENESW
    32644, // IDC_SIZEWE
    32645, // IDC_SIZENS
    32646, // IDC_SIZEALL
    32648, // IDC_NO
    32649, // IDC_HAND
    32650, // IDC_APPSTARTING
};
constexpr size_t CursorCount = sizeof CursorIds / sizeof CursorIds[0];
constinit StockObject cursors[CursorCount] = {};

} // namespace

extern "C" HGDIOBJ GetStockObject(int i)
{
    if (i < 0 || i >= BrushCount)
        return nullptr;
    return &brushes[i];
}

extern "C" HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    // Modules carry no cursor resources here; only the system's predefined cursors exist.
    if (!hInstance && IS_INTRESOURCE(lpCursorName)) {
        auto id = reinterpret_cast<ULONG_PTR>(lpCursorName);
        for (size_t i = 0; i < CursorCount; ++i)
            if (CursorIds[i] == id)
                return &cursors[i];
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}
