#include <gtest/gtest.h>

#include <cmath>

#include "CountingObject.h"
#include "com/Bstr.h"
#include "com/Variant.h"

namespace {
Variant StringVariant(const char* text)
{
    return Variant::Utf8(text);
}
} // namespace

TEST(VariantOwnershipTest, CopyDuplicatesStringsAndClearFreesThem)
{
    Variant source = StringVariant("take one");
    Variant copy = source;
    ASSERT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(Bstr(copy.bstrVal).Utf8(), "take one");
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&copy), S_OK); // clearing twice is harmless
}

TEST(VariantOwnershipTest, InterfacesAreCountedOncePerCopy)
{
    auto* object = new CountingObject;
    {
        Variant held = Variant::Dispatch(object);
        EXPECT_EQ(object->References(), 2u);
        Variant copy = held;
        EXPECT_EQ(object->References(), 3u);
        copy = Variant::Long(5);
        EXPECT_EQ(object->References(), 2u);
        Variant moved = std::move(held);
        EXPECT_EQ(object->References(), 2u);
    }
    EXPECT_EQ(object->References(), 1u);
    object->Release();
}

TEST(VariantOwnershipTest, ArraysAreCopiedDeeply)
{
    auto* object = new CountingObject;
    SAFEARRAY* array = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<IDispatch*>(object)), S_OK);
    {
        Variant held = Variant::AdoptArray(VT_DISPATCH, array);
        Variant copy = held;
        EXPECT_NE(copy.parray, held.parray);
        EXPECT_EQ(object->References(), 3u);
    }
    EXPECT_EQ(object->References(), 1u);
    object->Release();
}

TEST(VariantOwnershipTest, ByReferenceValuesAreNotOwned)
{
    BSTR text = SysAllocString(u"shared");
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BSTR | VT_BYREF;
    reference.pbstrVal = &text;
    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &reference), S_OK);
    EXPECT_EQ(copy.pbstrVal, &text);
    ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text);
    EXPECT_EQ(VariantClear(&reference), S_OK);
    SysFreeString(text);
}

TEST(VariantOwnershipTest, BadTypesAndNullsAreRefused)
{
    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    Variant target;
    EXPECT_EQ(VariantCopy(&target, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(nullptr, &target), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(&target, nullptr), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(nullptr, &target, 0, VT_I4), E_INVALIDARG);
    VariantInit(nullptr);
}

TEST(VariantConversionTest, NumbersBetweenTypes)
{
    struct Case
    {
        Variant from;
        VARTYPE to;
        HRESULT expected;
        double value;
    };
    const Case cases[] = {
        {Variant::Long(42), VT_R8, S_OK, 42},
        {Variant::Double(2.5), VT_I4, S_OK, 2}, // halves go to even
        {Variant::Double(3.5), VT_I4, S_OK, 4},
        {Variant::Double(-2.5), VT_I4, S_OK, -2},
        {Variant::Double(3e10), VT_I4, DISP_E_OVERFLOW, 0},
        {Variant::Long(300), VT_UI1, DISP_E_OVERFLOW, 0},
        {Variant::Long(-1), VT_UI4, DISP_E_OVERFLOW, 0},
        {Variant::Long(255), VT_UI1, S_OK, 255},
        {Variant::Bool(true), VT_I4, S_OK, -1},
        {Variant::Long(7), VT_BOOL, S_OK, -1},
        {Variant::Long(0), VT_BOOL, S_OK, 0},
        {Variant(), VT_I4, S_OK, 0},
        {StringVariant(" 123 "), VT_I4, S_OK, 123},
        {StringVariant("12.75"), VT_R8, S_OK, 12.75},
        {StringVariant("twelve"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {StringVariant(""), VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    for (const Case& c : cases) {
        Variant result;
        HRESULT hr = VariantChangeType(&result, &c.from, 0, c.to);
        EXPECT_EQ(hr, c.expected) << "from vt " << c.from.vt << " to " << c.to;
        if (FAILED(hr)) {
            EXPECT_EQ(result.vt, VT_EMPTY);
            continue;
        }
        ASSERT_EQ(result.vt, c.to);
        Variant asDouble;
        ASSERT_EQ(VariantChangeType(&asDouble, &result, 0, VT_R8), S_OK);
        EXPECT_DOUBLE_EQ(asDouble.dblVal, c.value);
    }
}

TEST(VariantConversionTest, ToStrings)
{
    struct Case
    {
        Variant from;
        USHORT flags;
        const char* text;
    };
    const Case cases[] = {
        {Variant::Long(-17), 0, "-17"},
        {Variant::Double(0.5), 0, "0.5"},
        {Variant::Double(1e20), 0, "1E+20"},
        {Variant::Bool(true), 0, "-1"},
        {Variant::Bool(true), VARIANT_ALPHABOOL, "True"},
        {Variant::Bool(false), VARIANT_ALPHABOOL, "False"},
        {Variant(), 0, ""},
    };
    for (const Case& c : cases) {
        Variant result;
        ASSERT_EQ(VariantChangeType(&result, &c.from, c.flags, VT_BSTR), S_OK);
        ASSERT_EQ(result.vt, VT_BSTR);
        EXPECT_EQ(Bstr(result.bstrVal).Utf8(), c.text);
    }
}

TEST(VariantConversionTest, InPlaceAndFailedConversionsKeepTheValue)
{
    Variant value = StringVariant("64");
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_I4), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 64);

    Variant text = StringVariant("not a number");
    EXPECT_EQ(VariantChangeType(&text, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(Bstr(text.bstrVal).Utf8(), "not a number");

    Variant null;
    null.vt = VT_NULL;
    Variant out;
    EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantConversionTest, InterfacesConvertByQuery)
{
    auto* object = new CountingObject;
    Variant unknown = Variant::Unknown(object);
    Variant dispatch;
    ASSERT_EQ(VariantChangeType(&dispatch, &unknown, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(dispatch.vt, VT_DISPATCH);
    EXPECT_EQ(object->References(), 3u);
    Variant number;
    EXPECT_EQ(VariantChangeType(&number, &unknown, 0, VT_I4), DISP_E_TYPEMISMATCH);
    dispatch.Clear();
    unknown.Clear();
    EXPECT_EQ(object->References(), 1u);
    object->Release();
}
