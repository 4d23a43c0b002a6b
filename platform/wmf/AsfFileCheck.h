// A structural check of an ASF file before its header is parsed: the header object and the
// data object that must follow it are where they say and fit in the file. Any thread.
#pragma once

#include <string>

#include "com/Types.h"

// S_OK for a file whose outer structure is sound; NS_E_FILE_NOT_FOUND when nothing is at the
// path; E_ACCESSDENIED when it cannot be read; NS_E_INVALID_INPUT_FORMAT when it is not an
// ASF file, or its header, data or index objects are damaged or cut short. A data object that
// claims no packets (size 0 or 50, left by a writer that streamed or never finished) is accepted
// with whatever follows it.
HRESULT CheckAsfFile(const std::string& path);
