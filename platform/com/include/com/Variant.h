// An owning VARIANT. Used on one thread at a time.
#pragma once

#include <string_view>
#include <utility>

#include "com/OleAuto.h"

class Variant : public VARIANT
{
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }
    Variant(const VARIANT& other) : Variant() { VariantCopy(this, &other); }
    Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
    Variant& operator=(const Variant& other)
    {
        if (this != &other)
            VariantCopy(this, &other);
        return *this;
    }
    Variant& operator=(Variant&& other) noexcept
    {
        if (this != &other) {
            VariantClear(this);
            static_cast<VARIANT&>(*this) = other;
            VariantInit(&other);
        }
        return *this;
    }
    ~Variant() { VariantClear(this); }

    static Variant Long(LONG value);
    static Variant Double(double value);
    static Variant Bool(bool value);
    static Variant String(std::u16string_view text);
    static Variant Utf8(std::string_view text);
    // Takes a new reference.
    static Variant Dispatch(IDispatch* object);
    static Variant Unknown(IUnknown* object);
    // Takes ownership of the array; vt is VT_ARRAY | the element type.
    static Variant AdoptArray(VARTYPE elementType, SAFEARRAY* array);

    // Frees what is held and returns the VARIANT for an out-parameter.
    VARIANT* Out()
    {
        VariantClear(this);
        return this;
    }
    // Hands the content to the caller, leaving this empty.
    VARIANT Detach()
    {
        VARIANT result = *this;
        VariantInit(this);
        return result;
    }
    void Clear() { VariantClear(this); }
};
static_assert(sizeof(Variant) == sizeof(VARIANT));
