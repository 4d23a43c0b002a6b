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
// A path that is not a regular file (a folder, a named pipe, a device) is refused without
// waiting: it is opened without blocking and never read.
HRESULT CheckAsfFile(const std::string& path);

// The same check of a file open for reading; *headerSize gets the header object's size, 0 on
// failure. path only names the file in the log.
HRESULT CheckAsfFile(int fd, const std::string& path, uint64_t* headerSize);

// Opens path for reading as CheckAsfFile does: without waiting, refusing what is not a regular
// file (NS_E_INVALID_INPUT_FORMAT), NS_E_FILE_NOT_FOUND or E_ACCESSDENIED when it cannot be
// opened. *fd gets the caller's descriptor, -1 on failure.
HRESULT OpenAsfFile(const std::string& path, int* fd);
