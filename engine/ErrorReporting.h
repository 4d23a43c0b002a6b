// The engine's one way of reporting an error: a COM error object whose source is the ProgID of
// the reporting class and whose description is a fixed English text. On the caller's thread.
#pragma once

#include "com/Types.h"

// Sets the calling thread's error information. Returns hr, or DISP_E_EXCEPTION when hr is 0;
// callers return the HRESULT that their operation states instead.
HRESULT ReportError(REFCLSID source, const char* text, REFIID iid = GUID_NULL, HRESULT hr = 0);
