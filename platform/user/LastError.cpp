#include "com/Types.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" DWORD GetLastError()
{
    return lastError;
}

extern "C" void SetLastError(DWORD code)
{
    lastError = code;
}
