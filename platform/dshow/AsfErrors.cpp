#include "AsfErrors.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

HRESULT AsfHResultFromErrno(int error)
{
    switch (error) {
    case 0:
        return S_OK;
    case ENOSPC:
    case EDQUOT:
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EFBIG:
        return HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
    case ENOENT:
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EEXIST:
        return HRESULT_FROM_WIN32(AsfWin32FileExists);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return E_ACCESSDENIED;
    case ENAMETOOLONG:
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    case EIO:
        return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    case ENOMEM:
        return E_OUTOFMEMORY;
    case EINVAL:
        return E_INVALIDARG;
    default:
        return E_FAIL;
    }
}

HRESULT AsfHResultFromAvError(int averror)
{
    if (averror >= 0)
        return S_OK;
    // AVERROR(e) is -e on every system that FFmpeg supports; its own tags are far below that.
    if (averror > -4096)
        return AsfHResultFromErrno(-averror);
    return E_FAIL;
}

std::string AsfAvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof(text));
    return text;
}
