// The barrier that keeps exceptions inside an interface method: a caller of a COM interface is
// C-like code that knows only HRESULTs, and an exception crossing the vtable would end the
// process. Any thread.
//
// Two shapes of one rule. A method whose whole body may throw is a function-try-block:
//
//   HRESULT WMACapture::Build()
//   try {
//       ...
//   } catch (...) {
//       return GuardedResult("WMACapture::Build");
//   }
//
// and a part of a method is CallGuarded(operation, [&] { ...; return hr; }). Either way
// std::bad_alloc becomes E_OUTOFMEMORY and anything else E_UNEXPECTED (our own code throws only
// bad_alloc; the others come from libraries we do not control, such as TagLib's parser), logged
// on the "com" channel with the operation.
#pragma once

#include <utility>

#include "com/Types.h"

// The result for the exception being handled; call it only inside a catch block.
HRESULT GuardedResult(const char* operation) noexcept;

// Runs body, which returns an HRESULT, and turns what it throws into a result.
template <class Body> HRESULT CallGuarded(const char* operation, Body&& body) noexcept
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return GuardedResult(operation);
    }
}
