// The barrier that keeps exceptions inside an interface method. Any thread.
#pragma once

#include <exception>
#include <new>

#include "com/DebugLog.h"
#include "com/Types.h"

// Runs body (returning an HRESULT) and turns what it throws into a result: std::bad_alloc
// becomes E_OUTOFMEMORY, anything else E_FAIL. Our own code throws only bad_alloc, but
// TagLib's parser is a library we do not control.
template <class Body> HRESULT CallGuarded(const char* operation, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        QUILLET_LOG("wmf", "%s: out of memory", operation);
        return E_OUTOFMEMORY;
    } catch (const std::exception& error) {
        QUILLET_LOG("wmf", "%s: %s", operation, error.what());
        return E_FAIL;
    } catch (...) {
        QUILLET_LOG("wmf", "%s: unknown exception", operation);
        return E_FAIL;
    }
}
