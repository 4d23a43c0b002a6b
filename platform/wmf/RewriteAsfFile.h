// Saving a changed ASF header without ever leaving a half-written file: the new file is written
// beside the old one under a hidden name and renamed over it, so that a full disk, a crash or a
// kill leaves either the old file or the new one, never a mix. Any thread; one call at a time
// per file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com/Types.h"

// Changes a header object in place: given the old one, leaves the new one (whose own size and
// object count it keeps right) and returns S_OK, or returns a failure that stops the rewrite.
using AsfHeaderEdit = std::function<HRESULT(std::vector<BYTE>& header)>;

// Reads the header object of the ASF file at path. CheckAsfFile's results for a file that is
// missing, unreadable, damaged or not a regular file (which is never opened for reading).
HRESULT ReadAsfHeader(const std::string& path, std::vector<BYTE>* header);

// Writes the file at path anew with its header object changed by edit and everything after the
// header kept byte for byte. The new header's file properties object records the new file's
// size. The new file gets the old one's permissions (and its owner where we may set it) and
// reaches the disk before it takes the old one's name; a symbolic link is followed, so the link
// stays. On failure the old file is untouched, the temporary file is gone, and the result says
// why: edit's failure, CheckAsfFile's, HRESULT_FROM_WIN32(ERROR_DISK_FULL) for a full disk or
// quota, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) past the process's file size limit,
// E_ACCESSDENIED where the folder may not be written.
HRESULT RewriteAsfFile(const std::string& path, const AsfHeaderEdit& edit);
