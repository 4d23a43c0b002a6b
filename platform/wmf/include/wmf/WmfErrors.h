// Result codes of the Windows Media Format services, with the values Windows gives them.
// Any thread.
#pragma once

#include "com/Types.h"

// The file named by IWMMetadataEditor::Open does not exist.
inline constexpr HRESULT NS_E_FILE_NOT_FOUND = Hr(0xC00D001A);
// The object is not in a state for the call: a header call before Open, or Open twice.
inline constexpr HRESULT NS_E_INVALID_REQUEST = Hr(0xC00D002B);
// The file is not an ASF file, or its header or data object is damaged or cut short.
inline constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = Hr(0xC00D0BBB);
// No attribute of that name (or index) exists.
inline constexpr HRESULT ASF_E_NOTFOUND = Hr(0xC00D07F0);
// The caller's buffer cannot hold the value; the length out-parameter says what is needed.
inline constexpr HRESULT ASF_E_BUFFERTOOSMALL = Hr(0xC00D07F1);
