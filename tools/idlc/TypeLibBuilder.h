// Resolves a parsed IDL file into the type library model, checking what a compiler must:
// known types and attributes, ids and GUIDs present, no duplicate dispatch ids, retval last.
#pragma once

#include "IdlAst.h"
#include "com/TypeLibModel.h"

namespace idlc {

// Throws IdlError naming the file and line of the first problem.
quillet::typelib::Library BuildTypeLibrary(const IdlFile& file);

} // namespace idlc
