// Parses the IDL subset that the engine's contract uses: imports, typedef'd enums, object
// interfaces, dispinterfaces, coclasses and one library block with importlib.
#pragma once

#include <string>

#include "IdlAst.h"

namespace idlc {

// Throws IdlError naming the file and line of the first problem.
IdlFile ParseIdl(const std::string& file, const std::string& source);

} // namespace idlc
