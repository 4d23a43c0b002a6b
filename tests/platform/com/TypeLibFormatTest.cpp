// The binary form: exact round trips, and refusal without crash or over-read of anything
// truncated, corrupted or inconsistent. Each malformed input is copied into a buffer of exactly
// its size, so that the sanitizer build catches a read past its end.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TypeLibSampleModel.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeLibFormat.h"

using namespace quillet::typelib;
using namespace quillet::typelib::sample;

namespace {

bool IsFormatError(HRESULT hr)
{
    return hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT;
}

HRESULT Parse(const std::vector<uint8_t>& bytes, size_t size, Library& out)
{
    std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + ptrdiff_t(size));
    exact.shrink_to_fit();
    return ParseLibrary(exact.data(), exact.size(), out);
}

// Walks everything a client can ask of a library; the library may be any that parsed.
void Exercise(ITypeLib* library)
{
    UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(i, &info), S_OK);
        std::vector<ComPtr<ITypeInfo>> views{info};
        ComPtr<ITypeInfo> twin;
        if (SUCCEEDED(info->GetRefTypeInfo(HREFTYPE(-1), &twin)))
            views.push_back(twin);
        for (const ComPtr<ITypeInfo>& view : views) {
            TYPEATTR* attr = nullptr;
            ASSERT_EQ(view->GetTypeAttr(&attr), S_OK);
            for (UINT f = 0; f < attr->cFuncs; ++f) {
                FUNCDESC* func = nullptr;
                ASSERT_EQ(view->GetFuncDesc(f, &func), S_OK);
                BSTR names[4] = {};
                UINT got = 0;
                if (SUCCEEDED(view->GetNames(func->memid, names, 4, &got)))
                    for (UINT n = 0; n < got; ++n)
                        SysFreeString(names[n]);
                for (SHORT p = 0; p < func->cParams; ++p) {
                    const TYPEDESC* type = &func->lprgelemdescParam[p].tdesc;
                    while (type->vt == VT_PTR || type->vt == VT_SAFEARRAY)
                        type = type->lptdesc;
                    ComPtr<ITypeInfo> ref;
                    if (type->vt == VT_USERDEFINED)
                        view->GetRefTypeInfo(type->hreftype, &ref);
                }
                view->ReleaseFuncDesc(func);
            }
            for (UINT v = 0; v < attr->cVars; ++v) {
                VARDESC* var = nullptr;
                ASSERT_EQ(view->GetVarDesc(v, &var), S_OK);
                view->ReleaseVarDesc(var);
            }
            for (UINT t = 0; t < attr->cImplTypes; ++t) {
                HREFTYPE href = 0;
                ASSERT_EQ(view->GetRefTypeOfImplType(t, &href), S_OK);
                ComPtr<ITypeInfo> base;
                ASSERT_EQ(view->GetRefTypeInfo(href, &base), S_OK);
                TYPEATTR* baseAttr = nullptr;
                ASSERT_EQ(base->GetTypeAttr(&baseAttr), S_OK);
                base->ReleaseTypeAttr(baseAttr);
            }
            view->ReleaseTypeAttr(attr);
            Bstr name;
            EXPECT_EQ(view->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr),
                      S_OK);
        }
    }
}

// Every constant kind that a default value or an enumerator may hold.
Library WithEveryConstant()
{
    Library library = MakeSampleLibrary();
    TypeDefinition constants;
    constants.kind = TKIND_ENUM;
    constants.name = "Constants";
    const ConstantValue values[] = {
        {VT_I1, -5, 0, {}},           {VT_UI1, 200, 0, {}},     {VT_I2, -30000, 0, {}},
        {VT_UI2, 60000, 0, {}},       {VT_I4, -2, 0, {}},       {VT_UI4, 4000000000, 0, {}},
        {VT_I8, -(1LL << 40), 0, {}}, {VT_BOOL, -1, 0, {}},     {VT_R8, 0, 2.5, {}},
        {VT_R4, 0, -0.25, {}},        {VT_BSTR, 0, 0, "grüße"}, {VT_EMPTY, 0, 0, {}},
    };
    MEMBERID memid = 100;
    for (const ConstantValue& value : values)
        constants.variables.push_back({"c" + std::to_string(memid), memid++, VAR_CONST, 0,
                                       TypeDescription::Basic(VT_VARIANT), value, "doc", 7});
    library.types.push_back(constants);
    return library;
}

TEST(TypeLibFormatTest, RoundTripIsExact)
{
    for (const Library& model : {MakeSampleLibrary(), WithEveryConstant(), Library{}}) {
        std::vector<uint8_t> bytes = SerializeLibrary(model);
        Library parsed;
        ASSERT_EQ(ParseLibrary(bytes.data(), bytes.size(), parsed), S_OK);
        EXPECT_EQ(parsed, model);
        EXPECT_EQ(SerializeLibrary(parsed), bytes);
    }
}

TEST(TypeLibFormatTest, ConstantsReachTheirVariants)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(CreateTypeLibFromModel(std::make_shared<Library>(WithEveryConstant()), &library),
              S_OK);
    ComPtr<ITypeInfo> constants;
    ASSERT_EQ(library->GetTypeInfo(5, &constants), S_OK);
    VARDESC* var = nullptr;
    ASSERT_EQ(constants->GetVarDesc(5, &var), S_OK);
    EXPECT_EQ(var->lpvarValue->vt, VT_UI4);
    EXPECT_EQ(var->lpvarValue->ulVal, 4000000000u);
    constants->ReleaseVarDesc(var);
    ASSERT_EQ(constants->GetVarDesc(8, &var), S_OK);
    EXPECT_EQ(var->lpvarValue->vt, VT_R8);
    EXPECT_EQ(var->lpvarValue->dblVal, 2.5);
    constants->ReleaseVarDesc(var);
    ASSERT_EQ(constants->GetVarDesc(10, &var), S_OK);
    ASSERT_EQ(var->lpvarValue->vt, VT_BSTR);
    EXPECT_EQ(Bstr(var->lpvarValue->bstrVal).Utf8(), "grüße");
    constants->ReleaseVarDesc(var);
}

TEST(TypeLibFormatTest, HeaderIsChecked)
{
    const std::vector<uint8_t> good = SerializeLibrary(MakeSampleLibrary());
    Library out;
    out.name = "untouched";

    std::vector<uint8_t> bytes = good;
    bytes[0] = 'X'; // magic
    EXPECT_EQ(Parse(bytes, bytes.size(), out), TYPE_E_UNSUPFORMAT);
    bytes = good;
    bytes[4] = 2; // format version
    EXPECT_EQ(Parse(bytes, bytes.size(), out), TYPE_E_UNSUPFORMAT);
    bytes = good;
    bytes[8] ^= 1; // payload size
    EXPECT_EQ(Parse(bytes, bytes.size(), out), TYPE_E_INVDATAREAD);
    bytes = good;
    bytes.push_back(0); // a trailing byte, with the size patched to cover it
    bytes[8] = uint8_t(bytes[8] + 1);
    EXPECT_EQ(Parse(bytes, bytes.size(), out), TYPE_E_INVDATAREAD);
    EXPECT_EQ(out.name, "untouched");

    ITypeLib* library = reinterpret_cast<ITypeLib*>(0xdeadbeef);
    EXPECT_EQ(LoadTypeLibFromMemory("hello", 5, &library), TYPE_E_UNSUPFORMAT);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(LoadTypeLibFromMemory(nullptr, 0, &library), TYPE_E_UNSUPFORMAT);
}

TEST(TypeLibFormatTest, EveryTruncationIsRefused)
{
    const std::vector<uint8_t> good = SerializeLibrary(MakeSampleLibrary());
    for (size_t size = 0; size < good.size(); ++size) {
        Library out;
        HRESULT hr = Parse(good, size, out);
        EXPECT_TRUE(IsFormatError(hr)) << "size " << size << ": " << std::hex << hr;
        // A truncation with its size field patched is caught by the fields themselves.
        if (size >= FormatHeaderSize) {
            std::vector<uint8_t> patched(good.begin(), good.begin() + ptrdiff_t(size));
            uint32_t payload = uint32_t(size - FormatHeaderSize);
            for (int i = 0; i < 4; ++i)
                patched[8 + i] = uint8_t(payload >> (8 * i));
            hr = Parse(patched, patched.size(), out);
            EXPECT_TRUE(IsFormatError(hr)) << "patched size " << size << ": " << std::hex << hr;
        }
    }
}

TEST(TypeLibFormatTest, RandomMutationsNeverCrash)
{
    const std::vector<uint8_t> good = SerializeLibrary(WithEveryConstant());
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> position(FormatHeaderSize, good.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> edits(1, 4);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int n = edits(random); n > 0; --n)
            bytes[position(random)] = uint8_t(byte(random));
        ComPtr<ITypeLib> library;
        HRESULT hr = LoadTypeLibFromMemory(bytes.data(), bytes.size(), &library);
        ASSERT_TRUE(hr == S_OK || IsFormatError(hr)) << "round " << round << std::hex << hr;
        if (hr == S_OK) {
            ++parsed;
            Exercise(library.Get());
        }
    }
    // Most single-byte edits land in names and values and still give a usable library.
    EXPECT_GT(parsed, 100);
}

TEST(TypeLibFormatTest, InconsistentModelsAreRefused)
{
    auto expectRefused = [](Library model, const char* what) {
        ComPtr<ITypeLib> library;
        EXPECT_EQ(CreateTypeLibFromModel(std::make_shared<Library>(model), &library),
                  TYPE_E_INVDATAREAD)
            << what;
        std::vector<uint8_t> bytes = SerializeLibrary(model);
        Library out;
        EXPECT_EQ(ParseLibrary(bytes.data(), bytes.size(), out), TYPE_E_INVDATAREAD) << what;
    };

    Library model = MakeSampleLibrary();
    model.types[IndexClass].implTypes[0].ref = TypeRef::Local(99);
    expectRefused(model, "implemented type out of range");

    model = MakeSampleLibrary();
    model.types[IndexRecState].aliasType = TypeDescription::UserDefined(TypeRef::Interface(0));
    expectRefused(model, "twin of a type that has none");

    model = MakeSampleLibrary();
    model.types[IndexRecorder].functions[0].returnType =
        TypeDescription::UserDefined(TypeRef::StdOle(StdOleTypeCount));
    expectRefused(model, "standard type out of range");

    model = MakeSampleLibrary();
    model.types[IndexEvents].dualInterface = InterfaceView{};
    expectRefused(model, "twin on a plain dispinterface");

    model = MakeSampleLibrary();
    TypeDescription deep = TypeDescription::Basic(VT_I4);
    for (int i = 0; i < 40; ++i)
        deep = TypeDescription::Pointer(deep);
    model.types[IndexRecorder].functions[0].returnType = deep;
    expectRefused(model, "type tree too deep");
}

} // namespace
