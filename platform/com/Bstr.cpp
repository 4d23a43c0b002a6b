// BSTR allocation and the UTF-8 conversions that strings need at the edges of the system.
#include "com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// A BSTR points just past a 32-bit byte count; two NUL bytes always follow the text, so a
// BSTR is also a valid NUL-terminated UTF-16 string even with an odd byte length.
constexpr size_t kPrefix = sizeof(uint32_t);
constexpr size_t kTerminator = sizeof(OLECHAR);

BSTR AllocateBytes(const void* data, size_t bytes)
{
    if (bytes > std::numeric_limits<uint32_t>::max() - kPrefix - 2 * kTerminator)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + 2 * kTerminator));
    if (!block)
        return nullptr;
    uint32_t length = static_cast<uint32_t>(bytes);
    std::memcpy(block, &length, kPrefix);
    if (data)
        std::memcpy(block + kPrefix, data, bytes);
    else
        std::memset(block + kPrefix, 0, bytes);
    std::memset(block + kPrefix + bytes, 0, 2 * kTerminator);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

size_t TextLength(const OLECHAR* text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

} // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    return AllocateBytes(psz, TextLength(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    if (ui > std::numeric_limits<uint32_t>::max() / sizeof(OLECHAR))
        return nullptr;
    return AllocateBytes(strIn, size_t(ui) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len)
{
    return AllocateBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr)
        return FALSE;
    // Allocate before freeing: psz may point into the old string.
    BSTR fresh = psz ? SysAllocString(psz) : nullptr;
    if (psz && !fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len)
{
    if (!pbstr)
        return FALSE;
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<unsigned char*>(bstrString) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<unsigned char*>(bstr) - kPrefix, kPrefix);
    return length;
}

UINT SysStringLen(BSTR pbstr)
{
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

} // extern "C"

namespace quillet {

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t extra = 0;
        uint32_t minimum = 0;
        if (byte < 0x80) {
            c = byte;
        } else if ((byte & 0xE0) == 0xC0) {
            c = byte & 0x1F, extra = 1, minimum = 0x80;
        } else if ((byte & 0xF0) == 0xE0) {
            c = byte & 0x0F, extra = 2, minimum = 0x800;
        } else if ((byte & 0xF8) == 0xF0) {
            c = byte & 0x07, extra = 3, minimum = 0x10000;
        }
        size_t consumed = 1;
        if (extra) {
            bool valid = true;
            for (size_t k = 1; valid && k <= extra; ++k) {
                if (i + k >= text.size() ||
                    (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                    valid = false;
                else
                    c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
            if (valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
                consumed = extra + 1;
            } else {
                c = 0xFFFD;
            }
        } else if (byte >= 0x80) {
            c = 0xFFFD;
        }
        i += consumed;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

} // namespace quillet

Bstr Bstr::FromUtf8(std::string_view utf8)
{
    return Bstr(quillet::Utf8ToUtf16(utf8));
}

std::string Bstr::Utf8() const
{
    return quillet::Utf16ToUtf8(View());
}
