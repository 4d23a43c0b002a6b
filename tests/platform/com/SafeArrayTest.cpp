#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "CountingObject.h"
#include "com/Bstr.h"
#include "com/Variant.h"

TEST(SafeArrayTest, VectorBoundsAndData)
{
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 72);
    ASSERT_NE(bytes, nullptr);
    LONG lower = -1, upper = -1;
    EXPECT_EQ(SafeArrayGetLBound(bytes, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(bytes, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 71);
    EXPECT_EQ(SafeArrayGetDim(bytes), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(bytes), 1u);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(bytes, &vt), S_OK);
    EXPECT_EQ(vt, VT_UI1);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(bytes, &data), S_OK);
    static_cast<BYTE*>(data)[71] = 0xAB;
    EXPECT_EQ(SafeArrayDestroy(bytes), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(bytes), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(bytes), E_UNEXPECTED);
    LONG index = 71;
    BYTE value = 0;
    EXPECT_EQ(SafeArrayGetElement(bytes, &index, &value), S_OK);
    EXPECT_EQ(value, 0xAB);
    EXPECT_EQ(SafeArrayDestroy(bytes), S_OK);
}

TEST(SafeArrayTest, EmptyVectorHasUpperBoundBelowLower)
{
    SAFEARRAY* none = SafeArrayCreateVector(VT_DISPATCH, 0, 0);
    ASSERT_NE(none, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(none, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(SafeArrayDestroy(none), S_OK);
}

TEST(SafeArrayTest, OutOfRangeIndicesAndDimensions)
{
    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 5, 3); // indices 5..7
    LONG value = 1;
    for (LONG bad : {4, 8, -1}) {
        LONG index = bad;
        EXPECT_EQ(SafeArrayPutElement(longs, &index, &value), DISP_E_BADINDEX) << bad;
        EXPECT_EQ(SafeArrayGetElement(longs, &index, &value), DISP_E_BADINDEX) << bad;
    }
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(longs, 0, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(longs, 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(longs, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(longs), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, nullptr), nullptr);
}

TEST(SafeArrayTest, MultipleDimensionsIndexLeftmostFirst)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}}; // [0..1][10..12]
    SAFEARRAY* grid = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(grid, nullptr);
    LONG lower = 0;
    EXPECT_EQ(SafeArrayGetLBound(grid, 2, &lower), S_OK);
    EXPECT_EQ(lower, 10);
    for (LONG i = 0; i < 2; ++i)
        for (LONG j = 10; j < 13; ++j) {
            LONG indices[2] = {i, j};
            SHORT value = SHORT(i * 100 + j);
            ASSERT_EQ(SafeArrayPutElement(grid, indices, &value), S_OK);
        }
    for (LONG i = 0; i < 2; ++i)
        for (LONG j = 10; j < 13; ++j) {
            LONG indices[2] = {i, j};
            SHORT value = 0;
            ASSERT_EQ(SafeArrayGetElement(grid, indices, &value), S_OK);
            EXPECT_EQ(value, i * 100 + j);
        }
    EXPECT_EQ(SafeArrayDestroy(grid), S_OK);
}

TEST(SafeArrayOwnershipTest, DispatchArraysOwnTheirReferences)
{
    auto* first = new CountingObject;
    auto* second = new CountingObject;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch*>(first)), S_OK);
    EXPECT_EQ(first->References(), 2u);
    // Replacing an element releases the one it held.
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch*>(second)), S_OK);
    EXPECT_EQ(first->References(), 1u);
    EXPECT_EQ(second->References(), 2u);

    IDispatch* fetched = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &fetched), S_OK);
    EXPECT_EQ(fetched, second);
    EXPECT_EQ(second->References(), 3u);
    fetched->Release();

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(second->References(), 3u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(second->References(), 1u);
    first->Release();
    second->Release();
}

TEST(SafeArrayOwnershipTest, StringAndVariantElementsAreCopies)
{
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
    Bstr text = Bstr::FromUtf8("line in");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text.Get()), S_OK);
    BSTR fetched = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &fetched), S_OK);
    EXPECT_NE(fetched, text.Get());
    EXPECT_EQ(Bstr::Adopt(fetched).Utf8(), "line in");
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    Variant element = Variant::Utf8("microphone");
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &element), S_OK);
    Variant back;
    ASSERT_EQ(SafeArrayGetElement(variants, &index, &back), S_OK);
    EXPECT_EQ(Bstr(back.bstrVal).Utf8(), "microphone");
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
}

TEST(SafeArrayTest, AByteVectorMadeInOneBlockBehavesAsAnyOther)
{
    const BYTE bytes[] = {1, 2, 3, 250, 0, 7};
    SAFEARRAY* array = SafeArrayCreateByteVector(bytes, sizeof bytes);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 1u);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_UI1);
    LONG lower = -1;
    LONG upper = -1;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 5);
    EXPECT_EQ(std::memcmp(array->pvData, bytes, sizeof bytes), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(array->pvData) % alignof(std::max_align_t), 0u);
    // A copy is an ordinary array with the same bytes.
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(std::memcmp(copy->pvData, bytes, sizeof bytes), 0);
    EXPECT_NE(copy->pvData, array->pvData);
    LONG index = 3;
    BYTE element = 0;
    EXPECT_EQ(SafeArrayGetElement(copy, &index, &element), S_OK);
    EXPECT_EQ(element, 250);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    // A locked array is kept; destroyed, the one block goes at once.
    EXPECT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);

    SAFEARRAY* empty = SafeArrayCreateByteVector(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->rgsabound[0].cElements, 0u);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
    EXPECT_EQ(SafeArrayCreateByteVector(nullptr, 4), nullptr);
}
