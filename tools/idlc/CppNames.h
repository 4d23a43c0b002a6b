// How the contract's types and members are spelled in the generated C++.
#pragma once

#include <string>

#include "com/TypeLibModel.h"

namespace idlc {

// The C++ type of a type description ("LONG", "BSTR*", "DSGraphStates*", ...).
std::string CppType(const quillet::typelib::Library& library,
                    const quillet::typelib::TypeDescription& type);
// The vtable method name: get_X, put_X, putref_X or X.
std::string CppMethodName(const quillet::typelib::Function& function);
// The VARTYPE name that the dispatch code converts a parameter to ("VT_I4", ...), with
// enumerations passed as VT_I4.
std::string VariantTypeName(const quillet::typelib::TypeDescription& type);
// The VARIANT member that holds a value of that type ("lVal", "bstrVal", ...); empty for
// VT_VARIANT, which travels whole.
std::string VariantMember(const quillet::typelib::TypeDescription& type);
// "{0x...u, 0x..., ...}" for a GUID initialiser.
std::string GuidText(const GUID& guid);
// A C++ string literal for UTF-8 text.
std::string Quote(const std::string& text);

} // namespace idlc
