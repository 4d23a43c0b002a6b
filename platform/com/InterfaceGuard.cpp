#include "com/InterfaceGuard.h"

#include <exception>
#include <new>

#include "com/DebugLog.h"

HRESULT GuardedResult(const char* operation) noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        QUILLET_LOG("com", "%s: out of memory", operation);
        return E_OUTOFMEMORY;
    } catch (const std::exception& error) {
        QUILLET_LOG("com", "%s: unexpected exception: %s", operation, error.what());
        return E_UNEXPECTED;
    } catch (...) {
        QUILLET_LOG("com", "%s: unexpected exception", operation);
        return E_UNEXPECTED;
    }
}
