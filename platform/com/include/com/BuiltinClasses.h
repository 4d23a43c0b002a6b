// The classes that the platform itself serves, found before the registry is consulted.
#pragma once

#include <span>

#include "com/Types.h"

struct BuiltinClass
{
    CLSID clsid;
    const char* module; // file name of the serving module, beside libquillet-platform.so
};

// The table, in lookup order.
std::span<const BuiltinClass> BuiltinClasses();
