// The two-call protocol by which the Windows Media interfaces hand out strings. Any thread.
#pragma once

#include <algorithm>
#include <limits>
#include <string_view>

#include "wmf/Wmf.h"

// Copies text and its terminator into buffer. A null buffer asks for the length: *length
// becomes the characters needed including the terminator. A buffer of fewer than that many
// characters (*length on entry) gives ASF_E_BUFFERTOOSMALL with the length needed and leaves
// the buffer untouched. Length is DWORD or WORD, as each interface declares it.
template <class Length>
HRESULT CopyStringOut(std::u16string_view text, WCHAR* buffer, Length* length)
{
    if (!length)
        return E_POINTER;
    if (text.size() + 1 > std::numeric_limits<Length>::max())
        return E_INVALIDARG; // cannot be described in the caller's length type
    const auto needed = static_cast<Length>(text.size() + 1);
    if (!buffer) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    *length = needed;
    return S_OK;
}
