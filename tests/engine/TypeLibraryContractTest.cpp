// The engine's type library, read back through ITypeInfo by name, against the published
// contract: every member's slot, DISPID, kind, parameters and flags, and every class.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestEnvironment.h"
#include "TypeLibPrinter.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeInfo.h"
#include "com/Variant.h"

namespace {

constexpr USHORT In = PARAMFLAG_FIN;
constexpr USHORT Retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr USHORT InOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT OptionalDefault = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;

struct ParamRow
{
    USHORT flags;
    const char* type;
};

struct MemberRow
{
    int slot; // -1 for dispinterface members
    DISPID dispid;
    INVOKEKIND kind;
    const char* name;
    std::vector<ParamRow> params;
};

struct InterfaceRow
{
    const char* name;
    const char* iid;
    std::vector<MemberRow> members;
};

constexpr INVOKEKIND Get = INVOKE_PROPERTYGET;
constexpr INVOKEKIND Put = INVOKE_PROPERTYPUT;
constexpr INVOKEKIND Method = INVOKE_FUNC;

// Written from the published contract, not from the IDL.
const std::vector<InterfaceRow>& Contract()
{
    static const std::vector<InterfaceRow> rows = {
        {"IWMACapture",
         "{DAE7284B-D03A-48BD-A597-826DFC422DA7}",
         {{7, 1, Get, "RecordLevel", {{Retval, "long*"}}},
          {8, 1, Put, "RecordLevel", {{In, "long"}}},
          {9, 2, Method, "GetState", {{Retval, "DSGraphStates*"}}},
          {10, 3, Method, "Run", {}},
          {11, 4, Method, "Pause", {}},
          {12, 5, Method, "Stop", {}},
          {13, 6, Method, "StopWhenReady", {}},
          {14, 7, Method, "Reset", {}},
          {15, 8, Get, "SourceId", {{Retval, "BSTR*"}}},
          {16, 8, Put, "SourceId", {{In, "BSTR"}}},
          {17, 9, Get, "InputPin", {{Retval, "BSTR*"}}},
          {18, 9, Put, "InputPin", {{In, "BSTR"}}},
          {19, 10, Get, "OutputPin", {{Retval, "BSTR*"}}},
          {20, 10, Put, "OutputPin", {{In, "BSTR"}}},
          {21, 11, Get, "ProfileId", {{Retval, "BSTR*"}}},
          {22, 11, Put, "ProfileId", {{In, "BSTR"}}},
          {23, 12, Get, "ProfileVersion", {{Retval, "wm_profile_version*"}}},
          {24, 13, Put, "OutputPath", {{In, "BSTR"}}},
          {25, 13, Get, "OutputPath", {{Retval, "BSTR*"}}},
          {26, 14, Method, "Prepare", {}},
          {27, 15, Get, "Prepared", {{Retval, "VARIANT_BOOL*"}}},
          {28, 16, Method, "Build", {}},
          {29, 17, Get, "MonitorOutputFileSize", {{Retval, "VARIANT_BOOL*"}}},
          {30, 17, Put, "MonitorOutputFileSize", {{In, "VARIANT_BOOL"}}},
          {31, 18, Method, "GetPosition", {{Retval, "double*"}}}}},
        {"ISimplePlayback",
         "{900E184B-E2BC-444A-8B9C-58533FD8EB96}",
         {{7, 1, Get, "Volume", {{Retval, "long*"}}},
          {8, 1, Put, "Volume", {{In, "long"}}},
          {9, 2, Method, "GetState", {{Retval, "DSGraphStates*"}}},
          {10, 3, Method, "Run", {}},
          {11, 4, Method, "Pause", {}},
          {12, 5, Method, "Stop", {}},
          {13, 6, Method, "Reset", {}},
          {14, 7, Method, "Initialize", {{In, "BSTR"}}},
          {15, 8, Get, "Initialized", {{Retval, "VARIANT_BOOL*"}}},
          {16, 9, Method, "GetPosition", {{Retval, "double*"}}},
          {17, 10, Method, "SetPosition", {{In, "double"}, {OptionalDefault, "VARIANT_BOOL"}}},
          {18, 11, Method, "GetStreamLength", {{OptionalDefault, "long"}, {Retval, "double*"}}}}},
        {"IClipAttributesEditor",
         "{533B0FF5-E50C-4E01-8052-B2E821A29C8F}",
         {{7, 1, Method, "Close", {}},
          {8, 2, Get, "FilePath", {{Retval, "BSTR*"}}},
          {9, 2, Put, "FilePath", {{In, "BSTR"}}},
          {10, 3, Get, "Author", {{Retval, "BSTR*"}}},
          {11, 3, Put, "Author", {{In, "BSTR"}}},
          {12, 4, Get, "Copyright", {{Retval, "BSTR*"}}},
          {13, 4, Put, "Copyright", {{In, "BSTR"}}},
          {14, 5, Get, "Description", {{Retval, "BSTR*"}}},
          {15, 5, Put, "Description", {{In, "BSTR"}}},
          {16, 6, Get, "Rating", {{Retval, "BSTR*"}}},
          {17, 6, Put, "Rating", {{In, "BSTR"}}},
          {18, 7, Get, "Title", {{Retval, "BSTR*"}}},
          {19, 7, Put, "Title", {{In, "BSTR"}}}}},
        {"IWMAHelper",
         "{2E88DD35-FD26-46A5-9FC8-DAE86FC21ED0}",
         {{7,
           1,
           Method,
           "GetAvailableSystemProfilesInfo",
           {{In, "wm_profile_version"}, {Retval, "VARIANT*"}}},
          {8, 2, Method, "GetAvailableCaptureSourcesInfo", {{Retval, "VARIANT*"}}},
          {9, 3, Method, "GetStreamLength", {{In, "BSTR"}, {In, "long"}, {Retval, "double*"}}}}},
        {"IWMAProfileInfo",
         "{5191F9B0-8D20-46E8-BB55-0B987D977DE9}",
         {{7, 1, Get, "Version", {{Retval, "wm_profile_version*"}}},
          {8, 2, Get, "Index", {{Retval, "long*"}}},
          {9, 3, Get, "Id", {{Retval, "BSTR*"}}},
          {10, 4, Get, "Bitrate", {{Retval, "long*"}}},
          {11, 5, Get, "Name", {{Retval, "BSTR*"}}},
          {12, 6, Get, "Description", {{Retval, "BSTR*"}}}}},
        {"IAudioCaptureSourceInfo",
         "{A443BAD8-6660-45EA-838D-60D77AD0914C}",
         {{7, 1, Get, "FriendlyName", {{Retval, "BSTR*"}}},
          {8, 2, Get, "InputPinsCount", {{Retval, "long*"}}},
          {9, 3, Get, "InputPinId", {{In, "long"}, {Retval, "BSTR*"}}},
          {10, 4, Get, "OutputPinsCount", {{Retval, "long*"}}},
          {11, 5, Get, "OutputPinId", {{In, "long"}, {Retval, "BSTR*"}}}}},
        {"_IWMACaptureEvents",
         "{CADF6C32-5752-45C2-AD7F-BF51D1A7A101}",
         {{-1, 1, Method, "SampleFormat", {{In, "VARIANT"}, {InOut, "VARIANT_BOOL*"}}},
          {-1, 2, Method, "SampleError", {{In, "BSTR"}}},
          {-1, 3, Method, "SampleData", {{In, "VARIANT"}, {In, "double"}}},
          {-1, 4, Method, "PositionProgress", {{In, "double"}}},
          {-1, 5, Method, "FileSizeProgress", {{In, "long"}, {In, "long"}}},
          {-1, 6, Method, "GraphError", {{In, "long"}, {In, "long"}, {In, "long"}}},
          {-1, 7, Method, "GraphStateChange", {{In, "DSGraphStates"}}}}},
        {"_ISimplePlaybackEvents",
         "{2A566E33-61B2-4C19-A81E-E59FE616C098}",
         {{-1, 1, Method, "PositionProgress", {{In, "double"}}},
          {-1, 2, Method, "GraphError", {{In, "long"}, {In, "long"}, {In, "long"}}},
          {-1, 3, Method, "GraphStateChange", {{In, "DSGraphStates"}}}}},
    };
    return rows;
}

GUID ParseGuid(const char* text)
{
    GUID guid{};
    std::u16string wide = quillet::Utf8ToUtf16(text);
    EXPECT_EQ(IIDFromString(wide.c_str(), &guid), S_OK);
    return guid;
}

std::string Documentation(ITypeInfo* info, MEMBERID memid, bool docString = false)
{
    Bstr name, doc;
    info->GetDocumentation(memid, name.Out(), doc.Out(), nullptr, nullptr);
    return docString ? doc.Utf8() : name.Utf8();
}

class TypeLibraryContractTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        std::u16string path = quillet::Utf8ToUtf16(QUILLET_ENGINE_MODULE);
        ASSERT_EQ(LoadTypeLib(path.c_str(), &library), S_OK);
    }
    void TearDown() override
    {
        library.Reset();
        EngineTest::TearDown();
    }

    ComPtr<ITypeInfo> TypeByGuid(const char* guid)
    {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library->GetTypeInfoOfGuid(ParseGuid(guid), &info), S_OK) << guid;
        return info;
    }

    ComPtr<ITypeLib> library;
};

} // namespace

TEST_F(TypeLibraryContractTest, LibraryAttributes)
{
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, ParseGuid("{E7D06129-CEE4-47ED-99B6-2903C31DBCBF}"));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attr);
    Bstr name, doc;
    ASSERT_EQ(library->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Utf8(), "corvaneLib");
    EXPECT_EQ(doc.Utf8(), "corvane 1.0 Type Library");
}

TEST_F(TypeLibraryContractTest, EveryMemberMatchesTheContract)
{
    for (const InterfaceRow& row : Contract()) {
        SCOPED_TRACE(row.name);
        ComPtr<ITypeInfo> info = TypeByGuid(row.iid);
        ASSERT_TRUE(info);
        EXPECT_EQ(Documentation(info.Get(), MEMBERID_NIL), row.name);
        bool events = row.name[0] == '_';
        EXPECT_EQ(Documentation(info.Get(), MEMBERID_NIL, true),
                  std::string(row.name) + " Interface");

        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
        WORD flags = attr->wTypeFlags;
        info->ReleaseTypeAttr(attr);
        ComPtr<ITypeInfo> members = info;
        if (!events) {
            EXPECT_TRUE(flags & TYPEFLAG_FDUAL);
            EXPECT_TRUE(flags & TYPEFLAG_FNONEXTENSIBLE);
            EXPECT_TRUE(flags & TYPEFLAG_FOLEAUTOMATION);
            // The vtable view carries the slots.
            HREFTYPE twin = 0;
            ASSERT_EQ(info->GetRefTypeOfImplType(UINT(-1), &twin), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(twin, &members), S_OK);
        }
        ASSERT_EQ(members->GetTypeAttr(&attr), S_OK);
        ASSERT_EQ(attr->cFuncs, row.members.size());
        if (!events) {
            EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
        }
        members->ReleaseTypeAttr(attr);

        for (UINT i = 0; i < row.members.size(); ++i) {
            const MemberRow& expected = row.members[i];
            SCOPED_TRACE(expected.name);
            FUNCDESC* function = nullptr;
            ASSERT_EQ(members->GetFuncDesc(i, &function), S_OK);
            if (expected.slot >= 0) {
                EXPECT_EQ(function->oVft / 8, expected.slot);
                EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
            }
            EXPECT_EQ(function->memid, expected.dispid);
            EXPECT_EQ(function->invkind, expected.kind);
            EXPECT_EQ(Documentation(members.Get(), function->memid), expected.name);
            ASSERT_EQ(size_t(function->cParams), expected.params.size());
            for (size_t p = 0; p < expected.params.size(); ++p) {
                const ELEMDESC& param = function->lprgelemdescParam[p];
                EXPECT_EQ(param.paramdesc.wParamFlags, expected.params[p].flags) << "param " << p;
                EXPECT_EQ(TypeText(members.Get(), param.tdesc), expected.params[p].type)
                    << "param " << p;
            }
            members->ReleaseFuncDesc(function);
        }
    }
}

TEST_F(TypeLibraryContractTest, ReadOnlyPropertiesHaveNoPut)
{
    ComPtr<ITypeInfo> capture = TypeByGuid("{DAE7284B-D03A-48BD-A597-826DFC422DA7}");
    ASSERT_TRUE(capture);
    for (const char16_t* name : {u"ProfileVersion", u"Prepared"}) {
        MEMBERID memid = MEMBERID_NIL;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        ASSERT_EQ(capture->GetIDsOfNames(names, 1, &memid), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(capture->GetTypeAttr(&attr), S_OK);
        int puts = 0;
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* function = nullptr;
            ASSERT_EQ(capture->GetFuncDesc(i, &function), S_OK);
            if (function->memid == memid && function->invkind != INVOKE_PROPERTYGET)
                ++puts;
            capture->ReleaseFuncDesc(function);
        }
        capture->ReleaseTypeAttr(attr);
        EXPECT_EQ(puts, 0) << quillet::Utf16ToUtf8(name);
    }
}

TEST_F(TypeLibraryContractTest, OptionalParametersCarryTheirDefaults)
{
    struct Case
    {
        const char* iid;
        const char16_t* member;
        UINT param;
        VARTYPE vt;
        LONG value;
    };
    const Case cases[] = {
        {"{900E184B-E2BC-444A-8B9C-58533FD8EB96}", u"SetPosition", 1, VT_BOOL, VARIANT_TRUE},
        {"{900E184B-E2BC-444A-8B9C-58533FD8EB96}", u"GetStreamLength", 0, VT_I4, 0},
    };
    for (const Case& c : cases) {
        ComPtr<ITypeInfo> info = TypeByGuid(c.iid);
        ASSERT_TRUE(info);
        LPOLESTR names[1] = {const_cast<LPOLESTR>(c.member)};
        MEMBERID memid = MEMBERID_NIL;
        ASSERT_EQ(info->GetIDsOfNames(names, 1, &memid), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        bool found = false;
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* function = nullptr;
            ASSERT_EQ(info->GetFuncDesc(i, &function), S_OK);
            if (function->memid == memid) {
                found = true;
                const PARAMDESC& param = function->lprgelemdescParam[c.param].paramdesc;
                ASSERT_TRUE(param.wParamFlags & PARAMFLAG_FHASDEFAULT);
                ASSERT_NE(param.pparamdescex, nullptr);
                const VARIANT& value = param.pparamdescex->varDefaultValue;
                EXPECT_EQ(value.vt, c.vt);
                EXPECT_EQ(c.vt == VT_BOOL ? LONG(value.boolVal) : value.lVal, c.value);
            }
            info->ReleaseFuncDesc(function);
        }
        info->ReleaseTypeAttr(attr);
        EXPECT_TRUE(found);
    }
}

TEST_F(TypeLibraryContractTest, EnumerationsHaveTheirValues)
{
    struct Case
    {
        const char16_t* alias;
        std::vector<std::pair<std::string, LONG>> values;
    };
    const Case cases[] = {
        {u"wm_profile_version",
         {{"wm_profile_ver_invalid", 0},
          {"wm_profile_ver_4_0", 0x40000},
          {"wm_profile_ver_7_0", 0x70000},
          {"wm_profile_ver_8_0", 0x80000},
          {"wm_profile_ver_9_0", 0x90000}}},
        {u"DSGraphStates",
         {{"dsg_error", 0}, {"dsg_stopped", 1}, {"dsg_paused", 2}, {"dsg_running", 3}}},
    };
    for (const Case& c : cases) {
        ComPtr<ITypeInfo> alias;
        MEMBERID memid = 0;
        USHORT found = 1;
        // FindName writes the library's own spelling back into the name buffer.
        std::u16string name = c.alias;
        ASSERT_EQ(library->FindName(name.data(), 0, &alias, &memid, &found), S_OK);
        ASSERT_EQ(found, 1);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(alias->GetTypeAttr(&attr), S_OK);
        ASSERT_EQ(attr->typekind, TKIND_ALIAS);
        ASSERT_EQ(attr->tdescAlias.vt, VT_USERDEFINED);
        ComPtr<ITypeInfo> enumeration;
        ASSERT_EQ(alias->GetRefTypeInfo(attr->tdescAlias.hreftype, &enumeration), S_OK);
        alias->ReleaseTypeAttr(attr);
        ASSERT_EQ(enumeration->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_ENUM);
        ASSERT_EQ(attr->cVars, c.values.size());
        enumeration->ReleaseTypeAttr(attr);
        for (UINT i = 0; i < c.values.size(); ++i) {
            VARDESC* var = nullptr;
            ASSERT_EQ(enumeration->GetVarDesc(i, &var), S_OK);
            EXPECT_EQ(Documentation(enumeration.Get(), var->memid), c.values[i].first);
            Variant value;
            ASSERT_EQ(VariantChangeType(&value, var->lpvarValue, 0, VT_I4), S_OK);
            EXPECT_EQ(value.lVal, c.values[i].second);
            enumeration->ReleaseVarDesc(var);
        }
    }
}

TEST_F(TypeLibraryContractTest, ClassesAndTheirInterfaces)
{
    struct Case
    {
        const char* clsid;
        const char* name;
        bool creatable;
        const char* defaultInterface;
        const char* source; // null: none
    };
    const Case cases[] = {
        {"{679E1B0D-66A8-44DD-9C90-54F82AE27BDD}", "WMACapture", true, "IWMACapture",
         "_IWMACaptureEvents"},
        {"{DAFE336C-809A-4D3D-8111-65D01D5ADA08}", "SimplePlayback", true, "ISimplePlayback",
         "_ISimplePlaybackEvents"},
        {"{75C832D4-EB9E-4332-8EF8-2FF9673E315D}", "ClipAttributesEditor", true,
         "IClipAttributesEditor", nullptr},
        {"{E72B0B24-7DFF-4621-8DC4-C7C9B21E932A}", "WMAHelper", true, "IWMAHelper", nullptr},
        {"{5CB3AA7C-4371-4A18-B86B-01C43B588B55}", "WMAProfileInfo", false, "IWMAProfileInfo",
         nullptr},
        {"{EFDD1629-8C5D-4D62-9D97-9A536275AEE9}", "AudioCaptureSourceInfo", false,
         "IAudioCaptureSourceInfo", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<ITypeInfo> info = TypeByGuid(c.clsid);
        ASSERT_TRUE(info);
        EXPECT_EQ(Documentation(info.Get(), MEMBERID_NIL), c.name);
        EXPECT_EQ(Documentation(info.Get(), MEMBERID_NIL, true), std::string(c.name) + " Class");
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_EQ(bool(attr->wTypeFlags & TYPEFLAG_FCANCREATE), c.creatable);
        UINT implCount = attr->cImplTypes;
        info->ReleaseTypeAttr(attr);
        ASSERT_EQ(implCount, c.source ? 2u : 1u);
        for (UINT i = 0; i < implCount; ++i) {
            INT flags = 0;
            ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> implemented;
            ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, &implemented), S_OK);
            if (i == 0) {
                EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
                EXPECT_EQ(Documentation(implemented.Get(), MEMBERID_NIL), c.defaultInterface);
            } else {
                EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
                EXPECT_EQ(Documentation(implemented.Get(), MEMBERID_NIL), c.source);
            }
        }
    }
}

TEST_F(TypeLibraryContractTest, TheDumpToolPrintsTheLibrary)
{
    std::string text;
    ASSERT_EQ(PrintTypeLib(library.Get(), &text), S_OK);
    EXPECT_NE(text.find("interface IWMACapture slot=24 dispid=13 propput OutputPath([in] BSTR)"),
              std::string::npos);
    EXPECT_NE(text.find("interface ISimplePlayback slot=17 dispid=10 method SetPosition([in] "
                        "double Position, [in,optional,defaultvalue(True)] VARIANT_BOOL Absolute)"),
              std::string::npos);
    EXPECT_EQ(CommandStatus(std::string(QUILLET_BIN_DIR_PATH) + "/tlbdump " +
                            QUILLET_ENGINE_MODULE + " >/dev/null"),
              0);
}
