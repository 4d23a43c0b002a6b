// Task memory: what one side allocates and the other side frees.
#include <cstdlib>

#include "com/OleAuto.h"

extern "C" {

LPVOID CoTaskMemAlloc(size_t cb)
{
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb)
{
    return std::realloc(pv, cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}

} // extern "C"
