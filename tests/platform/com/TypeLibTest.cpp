// A library built in memory, serialised to a file and to a module, and read back through
// ITypeLib and ITypeInfo: names, DISPIDs, slots, flags, defaults, references and documentation.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TypeLibSampleModel.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeLibFormat.h"

using namespace quillet::typelib;
using namespace quillet::typelib::sample;

namespace {

std::u16string Wide(const std::string& text)
{
    return quillet::Utf8ToUtf16(text);
}

ComPtr<ITypeLib> LoadFromFile(const std::string& path)
{
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), &library), S_OK) << path;
    return library;
}

ComPtr<ITypeLib> LoadSample(const TempFolder& folder)
{
    std::vector<uint8_t> bytes = SerializeLibrary(MakeSampleLibrary());
    std::string path = folder / "sample.tlb";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return LoadFromFile(path);
}

ComPtr<ITypeInfo> TypeInfoAt(ITypeLib* library, UINT index)
{
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library->GetTypeInfo(index, &info), S_OK);
    return info;
}

ComPtr<ITypeInfo> RefTypeInfo(ITypeInfo* info, HREFTYPE href)
{
    ComPtr<ITypeInfo> target;
    EXPECT_EQ(info->GetRefTypeInfo(href, &target), S_OK);
    return target;
}

ComPtr<ITypeInfo> ImplTypeInfo(ITypeInfo* info, UINT index)
{
    HREFTYPE href = 0;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &href), S_OK);
    return RefTypeInfo(info, href);
}

std::string NameOf(ITypeInfo* info, MEMBERID memid = MEMBERID_NIL)
{
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(memid, name.Out(), nullptr, nullptr, nullptr), S_OK);
    return name.Utf8();
}

std::vector<std::string> NamesOf(ITypeInfo* info, MEMBERID memid)
{
    BSTR names[8] = {};
    UINT count = 0;
    EXPECT_EQ(info->GetNames(memid, names, 8, &count), S_OK);
    std::vector<std::string> result;
    for (UINT i = 0; i < count; ++i)
        result.push_back(Bstr::Adopt(names[i]).Utf8());
    return result;
}

std::vector<MEMBERID> IdsOf(ITypeInfo* info, std::vector<std::u16string> names,
                            HRESULT expected = S_OK)
{
    std::vector<LPOLESTR> pointers;
    for (std::u16string& name : names)
        pointers.push_back(name.data());
    std::vector<MEMBERID> ids(names.size(), 0x7eadbeef);
    EXPECT_EQ(info->GetIDsOfNames(pointers.data(), UINT(pointers.size()), ids.data()), expected);
    return ids;
}

// The TYPEATTR fields a test compares, copied out so the record can be released at once.
struct Attr
{
    GUID guid;
    TYPEKIND kind;
    WORD cFuncs, cVars, cImplTypes, cbSizeVft, flags, major, minor;
    TYPEDESC alias;
};

Attr AttrOf(ITypeInfo* info)
{
    TYPEATTR* attr = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
    Attr copy{attr->guid,         attr->typekind,  attr->cFuncs,     attr->cVars,
              attr->cImplTypes,   attr->cbSizeVft, attr->wTypeFlags, attr->wMajorVerNum,
              attr->wMinorVerNum, attr->tdescAlias};
    info->ReleaseTypeAttr(attr);
    return copy;
}

class TypeLibTest : public ::testing::Test
{
protected:
    TempFolder folder;
    ComPtr<ITypeLib> library = LoadSample(folder);
};

TEST_F(TypeLibTest, LibraryAttributesAndIndex)
{
    ASSERT_TRUE(library);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_SampleLib);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 10);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN64);
    library->ReleaseTLibAttr(attr);

    Bstr name, doc, helpFile;
    DWORD context = 99;
    ASSERT_EQ(library->GetDocumentation(-1, name.Out(), doc.Out(), &context, helpFile.Out()), S_OK);
    EXPECT_EQ(name.Utf8(), "SampleRecorderLib");
    EXPECT_EQ(doc.Utf8(), "Sample recorder type library");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(helpFile.Get(), nullptr);

    // The dual interface is listed once, as its dispatch view.
    ASSERT_EQ(library->GetTypeInfoCount(), 5u);
    const std::pair<TYPEKIND, const char*> index[] = {
        {TKIND_ENUM, "__MIDL___MIDL_itf_sample_0001"},
        {TKIND_ALIAS, "RecState"},
        {TKIND_DISPATCH, "ISampleRecorder"},
        {TKIND_DISPATCH, "_ISampleRecorderEvents"},
        {TKIND_COCLASS, "SampleRecorder"},
    };
    for (UINT i = 0; i < 5; ++i) {
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(library->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, index[i].first) << i;
        Bstr typeName;
        EXPECT_EQ(library->GetDocumentation(INT(i), typeName.Out(), nullptr, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(typeName.Utf8(), index[i].second);
        EXPECT_EQ(NameOf(TypeInfoAt(library.Get(), i).Get()), index[i].second);
    }

    ComPtr<ITypeInfo> byGuid;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ISampleRecorder, &byGuid), S_OK);
    EXPECT_EQ(AttrOf(byGuid.Get()).kind, TKIND_DISPATCH);
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_SampleRecorder, &byGuid), S_OK);
    EXPECT_EQ(NameOf(byGuid.Get()), "SampleRecorder");
}

TEST_F(TypeLibTest, EnumConstantsAndAlias)
{
    ComPtr<ITypeInfo> states = TypeInfoAt(library.Get(), IndexRecStateEnum);
    Attr attr = AttrOf(states.Get());
    EXPECT_EQ(attr.kind, TKIND_ENUM);
    EXPECT_EQ(attr.cVars, 3);
    EXPECT_EQ(attr.cFuncs, 0);
    const char* names[] = {"rsStopped", "rsRecording", "rsPaused"};
    for (UINT i = 0; i < 3; ++i) {
        VARDESC* var = nullptr;
        ASSERT_EQ(states->GetVarDesc(i, &var), S_OK);
        EXPECT_EQ(var->varkind, VAR_CONST);
        EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_I4);
        ASSERT_NE(var->lpvarValue, nullptr);
        EXPECT_EQ(var->lpvarValue->vt, VT_I4);
        EXPECT_EQ(var->lpvarValue->lVal, LONG(i));
        EXPECT_EQ(NamesOf(states.Get(), var->memid), std::vector<std::string>{names[i]});
        states->ReleaseVarDesc(var);
    }
    VARDESC* sentinel = reinterpret_cast<VARDESC*>(0xdeadbeef);
    EXPECT_EQ(states->GetVarDesc(3, &sentinel), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(sentinel, nullptr);

    // typedef enum {...} RecState: an alias of the unnamed enum, reached as VT_USERDEFINED.
    ComPtr<ITypeInfo> alias = TypeInfoAt(library.Get(), IndexRecState);
    Attr aliasAttr = AttrOf(alias.Get());
    EXPECT_EQ(aliasAttr.kind, TKIND_ALIAS);
    ASSERT_EQ(aliasAttr.alias.vt, VT_USERDEFINED);
    ComPtr<ITypeInfo> target = RefTypeInfo(alias.Get(), aliasAttr.alias.hreftype);
    EXPECT_EQ(AttrOf(target.Get()).kind, TKIND_ENUM);
    EXPECT_EQ(AttrOf(target.Get()).guid, GUID_RecStateEnum);
}

TEST_F(TypeLibTest, DualInterfaceDispatchView)
{
    ComPtr<ITypeInfo> recorder = TypeInfoAt(library.Get(), IndexRecorder);
    Attr attr = AttrOf(recorder.Get());
    EXPECT_EQ(attr.kind, TKIND_DISPATCH);
    EXPECT_EQ(attr.flags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr.cFuncs, 6);
    EXPECT_EQ(attr.cImplTypes, 1);
    EXPECT_EQ(attr.cbSizeVft, 7 * 8);

    // DISPIDs by name, without regard to case; further names are the method's parameters.
    EXPECT_EQ(IdsOf(recorder.Get(), {u"volume"}), std::vector<MEMBERID>{1});
    EXPECT_EQ(IdsOf(recorder.Get(), {u"RECORD", u"Seconds", u"fileName"}),
              (std::vector<MEMBERID>{2, 1, 0}));
    EXPECT_EQ(IdsOf(recorder.Get(), {u"Record", u"bogus", u"seconds"}, DISP_E_UNKNOWNNAME),
              (std::vector<MEMBERID>{2, MEMBERID_NIL, 1}));
    EXPECT_EQ(IdsOf(recorder.Get(), {u"Pause", u"fileName"}, DISP_E_UNKNOWNNAME),
              (std::vector<MEMBERID>{MEMBERID_NIL, MEMBERID_NIL}));

    EXPECT_EQ(NamesOf(recorder.Get(), 2),
              (std::vector<std::string>{"Record", "fileName", "seconds"}));
    EXPECT_EQ(NamesOf(recorder.Get(), 1), std::vector<std::string>{"Volume"});

    FUNCDESC* put = nullptr;
    ASSERT_EQ(recorder->GetFuncDesc(1, &put), S_OK);
    EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(put->funckind, FUNC_DISPATCH);
    EXPECT_EQ(put->memid, 1);
    ASSERT_EQ(put->cParams, 1);
    EXPECT_EQ(put->lprgelemdescParam[0].tdesc.vt, VT_I4);
    recorder->ReleaseFuncDesc(put);

    FUNCDESC* record = nullptr;
    ASSERT_EQ(recorder->GetFuncDesc(2, &record), S_OK);
    EXPECT_EQ(record->invkind, INVOKE_FUNC);
    EXPECT_EQ(record->elemdescFunc.tdesc.vt, VT_BOOL);
    ASSERT_EQ(record->cParams, 2);
    EXPECT_EQ(record->cParamsOpt, 1);
    EXPECT_EQ(record->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(record->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
    const PARAMDESC& seconds = record->lprgelemdescParam[1].paramdesc;
    EXPECT_EQ(seconds.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_NE(seconds.pparamdescex, nullptr);
    EXPECT_EQ(seconds.pparamdescex->varDefaultValue.vt, VT_I4);
    EXPECT_EQ(seconds.pparamdescex->varDefaultValue.lVal, 5);
    recorder->ReleaseFuncDesc(record);

    FUNCDESC* stop = nullptr;
    ASSERT_EQ(recorder->GetFuncDesc(4, &stop), S_OK);
    ASSERT_EQ(stop->cParams, 1);
    ASSERT_NE(stop->lprgelemdescParam[0].paramdesc.pparamdescex, nullptr);
    EXPECT_EQ(stop->lprgelemdescParam[0].paramdesc.pparamdescex->varDefaultValue.vt, VT_BOOL);
    EXPECT_EQ(stop->lprgelemdescParam[0].paramdesc.pparamdescex->varDefaultValue.boolVal,
              VARIANT_TRUE);
    recorder->ReleaseFuncDesc(stop);

    FUNCDESC* devices = nullptr;
    ASSERT_EQ(recorder->GetFuncDesc(5, &devices), S_OK);
    EXPECT_EQ(devices->elemdescFunc.tdesc.vt, VT_SAFEARRAY);
    EXPECT_EQ(devices->elemdescFunc.tdesc.lptdesc->vt, VT_BSTR);
    recorder->ReleaseFuncDesc(devices);

    FUNCDESC* past = reinterpret_cast<FUNCDESC*>(0xdeadbeef);
    EXPECT_EQ(recorder->GetFuncDesc(6, &past), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(past, nullptr);
}

TEST_F(TypeLibTest, DualInterfaceTwinHasSlotsAndRetvals)
{
    ComPtr<ITypeInfo> recorder = TypeInfoAt(library.Get(), IndexRecorder);
    ComPtr<ITypeInfo> twin = ImplTypeInfo(recorder.Get(), UINT(-1));
    ASSERT_TRUE(twin);
    Attr attr = AttrOf(twin.Get());
    EXPECT_EQ(attr.kind, TKIND_INTERFACE);
    EXPECT_EQ(attr.guid, IID_ISampleRecorder);
    EXPECT_EQ(attr.cFuncs, 6);
    EXPECT_EQ(attr.cbSizeVft, 13 * 8); // IUnknown 3 + IDispatch 4 + its own 6
    EXPECT_TRUE(attr.flags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(NameOf(twin.Get()), "ISampleRecorder");
    EXPECT_EQ(NameOf(RefTypeInfo(recorder.Get(), HREFTYPE(-1)).Get()), "ISampleRecorder");

    // The twin has no twin of its own, and knows which library entry it belongs to.
    HREFTYPE none = 0xdeadbeef;
    EXPECT_EQ(twin->GetRefTypeOfImplType(UINT(-1), &none), TYPE_E_ELEMENTNOTFOUND);
    ComPtr<ITypeLib> container;
    UINT containerIndex = 99;
    ASSERT_EQ(twin->GetContainingTypeLib(&container, &containerIndex), S_OK);
    EXPECT_EQ(containerIndex, IndexRecorder);

    const struct
    {
        const char* name;
        INVOKEKIND invkind;
        SHORT cParams;
    } slots[] = {{"Volume", INVOKE_PROPERTYGET, 1}, {"Volume", INVOKE_PROPERTYPUT, 1},
                 {"Record", INVOKE_FUNC, 3},        {"State", INVOKE_PROPERTYGET, 1},
                 {"Stop", INVOKE_FUNC, 1},          {"Devices", INVOKE_PROPERTYGET, 1}};
    for (UINT i = 0; i < 6; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(twin->GetFuncDesc(i, &func), S_OK);
        EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(func->oVft, SHORT(8 * (7 + i))) << slots[i].name;
        EXPECT_EQ(func->invkind, slots[i].invkind);
        EXPECT_EQ(func->cParams, slots[i].cParams);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(NamesOf(twin.Get(), func->memid).front(), slots[i].name);
        twin->ReleaseFuncDesc(func);
    }

    FUNCDESC* record = nullptr;
    ASSERT_EQ(twin->GetFuncDesc(2, &record), S_OK);
    const ELEMDESC& started = record->lprgelemdescParam[2];
    EXPECT_EQ(started.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    ASSERT_EQ(started.tdesc.vt, VT_PTR);
    EXPECT_EQ(started.tdesc.lptdesc->vt, VT_BOOL);
    EXPECT_EQ(NamesOf(twin.Get(), 2),
              (std::vector<std::string>{"Record", "fileName", "seconds", "started"}));
    twin->ReleaseFuncDesc(record);

    // [out, retval] RecState*: a pointer to the alias, which resolves by reference.
    FUNCDESC* state = nullptr;
    ASSERT_EQ(twin->GetFuncDesc(3, &state), S_OK);
    const TYPEDESC& retval = state->lprgelemdescParam[0].tdesc;
    ASSERT_EQ(retval.vt, VT_PTR);
    ASSERT_EQ(retval.lptdesc->vt, VT_USERDEFINED);
    EXPECT_EQ(NameOf(RefTypeInfo(twin.Get(), retval.lptdesc->hreftype).Get()), "RecState");
    twin->ReleaseFuncDesc(state);

    FUNCDESC* devices = nullptr;
    ASSERT_EQ(twin->GetFuncDesc(5, &devices), S_OK);
    const TYPEDESC& list = devices->lprgelemdescParam[0].tdesc;
    ASSERT_EQ(list.vt, VT_PTR);
    ASSERT_EQ(list.lptdesc->vt, VT_SAFEARRAY);
    EXPECT_EQ(list.lptdesc->lptdesc->vt, VT_BSTR);
    twin->ReleaseFuncDesc(devices);
}

TEST_F(TypeLibTest, BaseInterfacesResolveToStandardTypes)
{
    ComPtr<ITypeInfo> recorder = TypeInfoAt(library.Get(), IndexRecorder);
    INT flags = -1;
    EXPECT_EQ(recorder->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, 0);

    ComPtr<ITypeInfo> dispatch = ImplTypeInfo(recorder.Get(), 0);
    Attr dispatchAttr = AttrOf(dispatch.Get());
    EXPECT_EQ(dispatchAttr.guid, IID_IDispatch);
    EXPECT_EQ(dispatchAttr.kind, TKIND_INTERFACE);
    EXPECT_EQ(dispatchAttr.cFuncs, 4);
    EXPECT_EQ(dispatchAttr.cbSizeVft, 7 * 8);
    EXPECT_EQ(NameOf(dispatch.Get()), "IDispatch");
    // Members of the base are found through the derived type info.
    EXPECT_EQ(IdsOf(dispatch.Get(), {u"addref"}), std::vector<MEMBERID>{0x60000001});

    ComPtr<ITypeInfo> unknown = ImplTypeInfo(dispatch.Get(), 0);
    Attr unknownAttr = AttrOf(unknown.Get());
    EXPECT_EQ(unknownAttr.guid, IID_IUnknown);
    EXPECT_EQ(unknownAttr.cFuncs, 3);
    EXPECT_EQ(unknownAttr.cbSizeVft, 3 * 8);
    EXPECT_EQ(unknownAttr.cImplTypes, 0);
    EXPECT_EQ(NameOf(unknown.Get()), "IUnknown");

    ComPtr<ITypeLib> stdole;
    ASSERT_EQ(unknown->GetContainingTypeLib(&stdole, nullptr), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(stdole->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, MakeGuid("00020430-0000-0000-C000-000000000046"));
    EXPECT_EQ(attr->wMajorVerNum, 2);
    stdole->ReleaseTLibAttr(attr);
}

TEST_F(TypeLibTest, EventsAndCreatableClass)
{
    ComPtr<ITypeInfo> coclass = TypeInfoAt(library.Get(), IndexClass);
    Attr attr = AttrOf(coclass.Get());
    EXPECT_EQ(attr.kind, TKIND_COCLASS);
    EXPECT_EQ(attr.flags, TYPEFLAG_FCANCREATE);
    ASSERT_EQ(attr.cImplTypes, 2);

    INT flags = 0;
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(NameOf(ImplTypeInfo(coclass.Get(), 0).Get()), "ISampleRecorder");
    EXPECT_EQ(coclass->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    ComPtr<ITypeInfo> events = ImplTypeInfo(coclass.Get(), 1);
    EXPECT_EQ(NameOf(events.Get()), "_ISampleRecorderEvents");
    flags = 0x5a;
    EXPECT_EQ(coclass->GetImplTypeFlags(2, &flags), TYPE_E_ELEMENTNOTFOUND);

    Attr eventsAttr = AttrOf(events.Get());
    EXPECT_EQ(eventsAttr.kind, TKIND_DISPATCH);
    EXPECT_EQ(eventsAttr.flags, TYPEFLAG_FDISPATCHABLE);
    HREFTYPE href = 0;
    EXPECT_EQ(events->GetRefTypeOfImplType(UINT(-1), &href), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(NamesOf(events.Get(), 2), (std::vector<std::string>{"Level", "peak", "source"}));
    EXPECT_EQ(IdsOf(events.Get(), {u"statechanged", u"NewState"}), (std::vector<MEMBERID>{1, 0}));
    FUNCDESC* level = nullptr;
    ASSERT_EQ(events->GetFuncDesc(1, &level), S_OK);
    EXPECT_EQ(level->lprgelemdescParam[0].tdesc.vt, VT_R8);
    EXPECT_EQ(level->lprgelemdescParam[1].tdesc.vt, VT_DISPATCH);
    EXPECT_EQ(level->elemdescFunc.tdesc.vt, VT_VOID);
    events->ReleaseFuncDesc(level);
}

TEST_F(TypeLibTest, MemberDocumentation)
{
    ComPtr<ITypeInfo> recorder = TypeInfoAt(library.Get(), IndexRecorder);
    Bstr name, doc;
    DWORD context = 7;
    ASSERT_EQ(recorder->GetDocumentation(MEMBERID_NIL, name.Out(), doc.Out(), &context, nullptr),
              S_OK);
    EXPECT_EQ(name.Utf8(), "ISampleRecorder");
    EXPECT_EQ(doc.Utf8(), "Records from one device");
    EXPECT_EQ(context, 0u);
    ASSERT_EQ(recorder->GetDocumentation(2, name.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Utf8(), "Record");
    EXPECT_EQ(doc.Utf8(), "Starts recording");
    ASSERT_EQ(recorder->GetDocumentation(3, name.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Utf8(), "State");
    EXPECT_EQ(doc.Get(), nullptr);

    BSTR untouched = reinterpret_cast<BSTR>(0xdeadbeef);
    EXPECT_EQ(recorder->GetDocumentation(77, &untouched, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(untouched, nullptr);
    BSTR names[2] = {};
    UINT count = 5;
    EXPECT_EQ(recorder->GetNames(77, names, 2, &count), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(count, 0u);
    // cMaxNames caps the answer.
    EXPECT_EQ(recorder->GetNames(2, names, 2, &count), S_OK);
    EXPECT_EQ(count, 2u);
    SysFreeString(names[0]);
    SysFreeString(names[1]);
}

TEST_F(TypeLibTest, IsNameAndFindName)
{
    std::u16string name = u"record";
    BOOL found = FALSE;
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(name, u"Record"); // the library's spelling is written back
    name = u"Pause";
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_FALSE(found);

    ITypeInfo* infos[4] = {};
    MEMBERID ids[4] = {};
    USHORT count = 4;
    name = u"RSPAUSED";
    ASSERT_EQ(library->FindName(name.data(), 0, infos, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(ids[0], 0x40000002);
    EXPECT_EQ(NameOf(infos[0]), "__MIDL___MIDL_itf_sample_0001");
    infos[0]->Release();

    name = u"SampleRecorder";
    count = 4;
    ASSERT_EQ(library->FindName(name.data(), 0, infos, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(ids[0], MEMBERID_NIL);
    infos[0]->Release();

    name = u"Nothing";
    count = 4;
    ASSERT_EQ(library->FindName(name.data(), 0, infos, ids, &count), S_OK);
    EXPECT_EQ(count, 0);
}

// The module's TYPELIB resource is the same library; the module stays loaded while it lives.
TEST(TypeLibModuleTest, LoadsTheResourceOfAModule)
{
    const char* path = QUILLET_TYPELIB_TEST_MODULE;
    ASSERT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr);
    ComPtr<ITypeLib> library = LoadFromFile(path);
    ASSERT_TRUE(library);
    void* loaded = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(loaded, nullptr);
    if (loaded)
        dlclose(loaded);

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_SampleLib);
    library->ReleaseTLibAttr(attr);
    ComPtr<ITypeInfo> recorder;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ISampleRecorder, &recorder), S_OK);
    EXPECT_EQ(IdsOf(recorder.Get(), {u"Stop", u"flush"}), (std::vector<MEMBERID>{4, 0}));

    // A type info keeps its library, and so the module, alive.
    library = nullptr;
    EXPECT_EQ(NameOf(recorder.Get()), "ISampleRecorder");
    recorder = nullptr;
    EXPECT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(TypeLibModuleTest, ModuleWithoutTypeLibraryIsRefused)
{
    std::u16string path = Wide(QUILLET_TYPELIB_EMPTY_MODULE);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(0xdeadbeef);
    EXPECT_EQ(LoadTypeLib(path.c_str(), &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
}

} // namespace
