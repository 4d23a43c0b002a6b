// An owning BSTR with UTF-8 conversions. Used on one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "com/OleAuto.h"

class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(const OLECHAR* text) : value(SysAllocString(text)) {}
    explicit Bstr(std::u16string_view text)
        : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    // From UTF-8; invalid sequences become U+FFFD.
    static Bstr FromUtf8(std::string_view utf8);
    // Takes ownership of a BSTR that the caller owns.
    static Bstr Adopt(BSTR owned)
    {
        Bstr result;
        result.value = owned;
        return result;
    }

    Bstr(const Bstr& other) : value(other.Copy()) {}
    Bstr(Bstr&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept
    {
        std::swap(value, other.value);
        return *this;
    }
    ~Bstr() { SysFreeString(value); }

    BSTR Get() const { return value; }
    // Frees what is held and returns the address for an out-parameter.
    BSTR* Out()
    {
        Reset();
        return &value;
    }
    BSTR Detach() { return std::exchange(value, nullptr); }
    // A new BSTR with the same content (null stays null), owned by the caller.
    BSTR Copy() const { return value ? SysAllocStringLen(value, SysStringLen(value)) : nullptr; }
    void Reset()
    {
        SysFreeString(value);
        value = nullptr;
    }

    UINT Length() const { return SysStringLen(value); }
    bool Empty() const { return Length() == 0; }
    std::u16string_view View() const { return {value ? value : u"", Length()}; }
    std::string Utf8() const;

private:
    BSTR value = nullptr;
};

namespace quillet {
// UTF-16 <-> UTF-8; invalid input becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
} // namespace quillet
