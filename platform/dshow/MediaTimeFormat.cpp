#include "MediaTimeFormat.h"

namespace media_time {

HRESULT CheckCapabilities(DWORD offered, DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    DWORD asked = *capabilities;
    *capabilities &= offered;
    if (*capabilities == asked)
        return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                          const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    bool targetOk = !targetFormat || *targetFormat == TIME_FORMAT_MEDIA_TIME;
    bool sourceOk = !sourceFormat || *sourceFormat == TIME_FORMAT_MEDIA_TIME;
    if (!targetOk || !sourceOk)
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

} // namespace media_time
