// How the ASF writer turns operating-system and FFmpeg failures into HRESULTs.
//
// The mapping follows what a Windows file writer reports for the same condition, so that the
// filter and the program above it need no Linux knowledge:
//   ENOSPC, EDQUOT        -> HRESULT_FROM_WIN32(ERROR_DISK_FULL)         0x80070070
//   EFBIG (size limit)    -> HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)  0x80070027
//   ENOENT, ENOTDIR       -> HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)    0x80070003
//   EEXIST                -> HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)       0x80070050
//   EACCES, EPERM, EROFS,
//   EISDIR                -> E_ACCESSDENIED                              0x80070005
//   ENAMETOOLONG          -> HRESULT_FROM_WIN32(ERROR_INVALID_NAME)      0x8007007B
//   EIO                   -> HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)       0x8007001D
//   ENOMEM                -> E_OUTOFMEMORY
//   EINVAL                -> E_INVALIDARG
//   anything else         -> E_FAIL
// An FFmpeg error that wraps an errno value (AVERROR(e)) maps as that errno; FFmpeg's own codes
// map to E_FAIL.
//
// Threads: pure functions; any thread.
#pragma once

#include "com/Types.h"

#include <string>

// ERROR_FILE_EXISTS: the file named for a new recording exists and overwriting was not allowed.
inline constexpr uint32_t AsfWin32FileExists = 80;

// The HRESULT for an errno value (see the table above).
HRESULT AsfHResultFromErrno(int error);

// The HRESULT for a negative FFmpeg return value (see the table above).
HRESULT AsfHResultFromAvError(int averror);

// FFmpeg's text for an error code, for the debug channel.
std::string AsfAvErrorText(int averror);
