// The contract of the loaders and of ITypeLib/ITypeInfo at their edges: the interfaces each
// object answers, references, null out-parameters, and files that are not type libraries.
#include <gtest/gtest.h>

#include <fstream>

#include "TempFolder.h"
#include "TypeLibSampleModel.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeLibFormat.h"

using namespace quillet::typelib;
using namespace quillet::typelib::sample;

namespace {

ComPtr<ITypeLib> SampleLibrary()
{
    ComPtr<ITypeLib> library;
    EXPECT_EQ(CreateTypeLibFromModel(std::make_shared<Library>(MakeSampleLibrary()), &library),
              S_OK);
    return library;
}

HRESULT LoadPath(const std::string& path, ITypeLib** library)
{
    return LoadTypeLib(quillet::Utf8ToUtf16(path).c_str(), library);
}

TEST(TypeLibContractTest, FilesThatAreNotTypeLibraries)
{
    TempFolder folder;
    ITypeLib* library = reinterpret_cast<ITypeLib*>(0xdeadbeef);
    EXPECT_EQ(LoadPath(folder / "missing.tlb", &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(LoadPath(folder.Path().string(), &library), TYPE_E_CANTLOADLIBRARY); // a folder

    std::ofstream(folder / "notes.txt") << "This is not a type library.\n";
    EXPECT_EQ(LoadPath(folder / "notes.txt", &library), TYPE_E_UNSUPFORMAT);
    std::ofstream(folder / "empty.tlb");
    EXPECT_EQ(LoadPath(folder / "empty.tlb", &library), TYPE_E_UNSUPFORMAT);

    std::vector<uint8_t> bytes = SerializeLibrary(MakeSampleLibrary());
    std::ofstream(folder / "cut.tlb", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size() / 2));
    EXPECT_EQ(LoadPath(folder / "cut.tlb", &library), TYPE_E_INVDATAREAD);
    EXPECT_EQ(library, nullptr);

    // A library file named without a folder is found relative to the working folder.
    std::ofstream(folder / "whole.tlb", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    EXPECT_EQ(LoadPath("whole.tlb", &library), S_OK);
    std::filesystem::current_path(previous);
    if (library)
        library->Release();

    EXPECT_EQ(LoadTypeLib(u"x.tlb", nullptr), E_INVALIDARG);
    EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);
    EXPECT_EQ(LoadTypeLibEx(u"", REGKIND_NONE, &library), E_INVALIDARG);
    EXPECT_EQ(LoadRegTypeLib(LIBID_SampleLib, 1, 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(nullptr, u"/x.tlb", nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(SampleLibrary().Get(), nullptr, nullptr), E_INVALIDARG);
}

TEST(TypeLibContractTest, InterfacesAndReferences)
{
    ComPtr<ITypeLib> library = SampleLibrary();
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(library->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
    ComPtr<ITypeInfo> notInfo;
    EXPECT_EQ(library->QueryInterface(IID_PPV_ARGS(&notInfo)), E_NOINTERFACE);
    ComPtr<IDispatch> notDispatch;
    EXPECT_EQ(library->QueryInterface(IID_PPV_ARGS(&notDispatch)), E_NOINTERFACE);
    unknown = nullptr;

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfo(IndexRecorder, &info), S_OK);
    ComPtr<ITypeLib> notLib;
    EXPECT_EQ(info->QueryInterface(IID_PPV_ARGS(&notLib)), E_NOINTERFACE);
    ComPtr<ITypeInfo> same;
    EXPECT_EQ(info->QueryInterface(IID_PPV_ARGS(&same)), S_OK);
    EXPECT_EQ(same.Get(), info.Get());
    same = nullptr;

    // A type info holds one reference on its library and hands out that library.
    ITypeLib* raw = library.Get();
    raw->AddRef();
    EXPECT_EQ(raw->Release(), 2u); // ours and the type info's
    ComPtr<ITypeLib> container;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_EQ(container.Get(), raw);
    EXPECT_EQ(index, IndexRecorder);
    EXPECT_EQ(info->GetContainingTypeLib(nullptr, nullptr), S_OK);
    container = nullptr;
    library = nullptr;
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK); // still served after the caller let go
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(info.Get()->AddRef(), 2u);
    EXPECT_EQ(info.Get()->Release(), 1u);
}

TEST(TypeLibContractTest, NullOutParametersOfTypeLib)
{
    ComPtr<ITypeLib> library = SampleLibrary();
    EXPECT_EQ(library->GetTypeInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetTypeInfoType(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_ISampleRecorder, nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetLibAttr(nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetTypeComp(nullptr), E_INVALIDARG);
    EXPECT_EQ(library->GetDocumentation(-1, nullptr, nullptr, nullptr, nullptr), S_OK);
    BOOL found = TRUE;
    std::u16string name = u"Record";
    EXPECT_EQ(library->IsName(nullptr, 0, &found), E_INVALIDARG);
    EXPECT_EQ(library->IsName(name.data(), 0, nullptr), E_INVALIDARG);
    ITypeInfo* infos[1] = {};
    MEMBERID ids[1] = {};
    USHORT count = 1;
    EXPECT_EQ(library->FindName(nullptr, 0, infos, ids, &count), E_INVALIDARG);
    EXPECT_EQ(library->FindName(name.data(), 0, nullptr, ids, &count), E_INVALIDARG);
    EXPECT_EQ(library->FindName(name.data(), 0, infos, nullptr, &count), E_INVALIDARG);
    EXPECT_EQ(library->FindName(name.data(), 0, infos, ids, nullptr), E_INVALIDARG);
    library->ReleaseTLibAttr(nullptr);

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(library->GetTypeInfo(5, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info, nullptr);
    info = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(library->GetTypeInfoOfGuid(GUID_NULL, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info, nullptr);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(library->GetTypeInfoType(5, &kind), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(kind, TKIND_MAX);
    BSTR untouched = reinterpret_cast<BSTR>(0xdeadbeef);
    EXPECT_EQ(library->GetDocumentation(5, &untouched, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(library->GetDocumentation(-2, nullptr, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    ITypeComp* comp = reinterpret_cast<ITypeComp*>(0xdeadbeef);
    EXPECT_EQ(library->GetTypeComp(&comp), E_NOTIMPL);
    EXPECT_EQ(comp, nullptr);
}

TEST(TypeLibContractTest, NullOutParametersOfTypeInfo)
{
    ComPtr<ITypeLib> library = SampleLibrary();
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfo(IndexRecorder, &info), S_OK);
    EXPECT_EQ(info->GetTypeAttr(nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetTypeComp(nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetFuncDesc(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetVarDesc(0, nullptr), E_INVALIDARG);
    UINT count = 0;
    BSTR names[2] = {};
    EXPECT_EQ(info->GetNames(1, nullptr, 2, &count), E_INVALIDARG);
    EXPECT_EQ(info->GetNames(1, names, 2, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetRefTypeOfImplType(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetImplTypeFlags(0, nullptr), E_INVALIDARG);
    MEMBERID ids[1] = {};
    std::u16string name = u"Record";
    LPOLESTR namePointer = name.data();
    EXPECT_EQ(info->GetIDsOfNames(nullptr, 1, ids), E_INVALIDARG);
    EXPECT_EQ(info->GetIDsOfNames(&namePointer, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetIDsOfNames(&namePointer, 0, ids), E_INVALIDARG);
    LPOLESTR nullName = nullptr;
    EXPECT_EQ(info->GetIDsOfNames(&nullName, 1, ids), E_INVALIDARG);
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->AddressOfMember(1, INVOKE_FUNC, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->CreateInstance(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetMops(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetDllEntry(1, INVOKE_FUNC, nullptr, nullptr, nullptr), TYPE_E_BADMODULEKIND);
    EXPECT_EQ(info->Invoke(nullptr, 1, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_NOTIMPL);
    info->ReleaseTypeAttr(nullptr);
    info->ReleaseFuncDesc(nullptr);
    info->ReleaseVarDesc(nullptr);

    // Out-of-range requests clear their out-parameter and answer TYPE_E_ELEMENTNOTFOUND.
    HREFTYPE href = 0xdeadbeef;
    EXPECT_EQ(info->GetRefTypeOfImplType(1, &href), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(href, 0u);
    ITypeInfo* ref = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(info->GetRefTypeInfo(0x7777, &ref), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(info->GetRefTypeInfo((1u << 16) | 99, &ref), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info->GetRefTypeInfo((2u << 16) | 0, &ref), TYPE_E_ELEMENTNOTFOUND);
    void* instance = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(info->CreateInstance(nullptr, IID_IUnknown, &instance), E_NOTIMPL);
    EXPECT_EQ(instance, nullptr);
}

} // namespace
