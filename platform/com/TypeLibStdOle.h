// The built-in part of the standard OLE library that type libraries refer to: IUnknown and
// IDispatch, so that a base interface resolves to a type info. Any thread may call.
#pragma once

#include <memory>

#include "com/TypeLibModel.h"

namespace quillet::typelib {

// The library {00020430-0000-0000-C000-000000000046} 2.0 with IUnknown (index StdOleIUnknown)
// and IDispatch (index StdOleIDispatch); built once per process.
std::shared_ptr<const Library> StdOleLibrary();

} // namespace quillet::typelib
