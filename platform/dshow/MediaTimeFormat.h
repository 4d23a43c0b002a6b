// The time-format half of IMediaSeeking that every seeking object here answers alike: media
// time (100-nanosecond units) is the only format. Any thread.
#pragma once

#include "dshow/Strmif.h"

namespace media_time {

// CheckCapabilities over what an object offers: S_OK when all asked are offered, S_FALSE when
// some, E_FAIL when none; the asked set is narrowed to the offered ones.
HRESULT CheckCapabilities(DWORD offered, DWORD* capabilities);
HRESULT IsFormatSupported(const GUID* format);
HRESULT QueryPreferredFormat(GUID* format);
HRESULT SetTimeFormat(const GUID* format);
// A null format means the current one, which is always media time.
HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                          const GUID* sourceFormat);

} // namespace media_time
