// The length of one stream of a media file, in milliseconds, measured by the media detector
// without touching any playback or capture graph. On the caller's thread.
#pragma once

#include "com/OleAuto.h"
#include "corvane.h"

// E_POINTER for a null result, E_INVALIDARG for a null or empty path (no detector is made);
// every failure of the detector comes back unchanged. A named pipe, a socket or a device is
// refused with E_INVALIDARG and "Not a regular file (\"PATH\")", recorded under reporter,
// before any detector opens it: reading it could wait for ever. *result is 0.0 unless measured.
HRESULT MeasureStreamLength(BSTR path, LONG streamIndex, double* result,
                            REFCLSID reporter = CLSID_WMAHelper);
