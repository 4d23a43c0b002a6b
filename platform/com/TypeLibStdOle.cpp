#include "TypeLibStdOle.h"

namespace quillet::typelib {
namespace {

constexpr GUID LIBID_StdOle = MakeGuid("00020430-0000-0000-C000-000000000046");

Parameter Param(const char* name, TypeDescription type, USHORT flags)
{
    return {name, std::move(type), flags, std::nullopt};
}

TypeDescription PointerTo(VARTYPE vt)
{
    return TypeDescription::Pointer(TypeDescription::Basic(vt));
}

// A vtable method as the standard library describes it: restricted, since automation clients
// never call these through Invoke.
Function Method(const char* name, MEMBERID memid, int slot, VARTYPE result,
                std::vector<Parameter> params)
{
    Function function;
    function.name = name;
    function.memid = memid;
    function.funcKind = FUNC_PUREVIRTUAL;
    function.oVft = SHORT(8 * slot);
    function.flags = FUNCFLAG_FRESTRICTED;
    function.returnType = TypeDescription::Basic(result);
    function.params = std::move(params);
    return function;
}

Library MakeStdOle()
{
    Library library;
    library.name = "stdole";
    library.guid = LIBID_StdOle;
    library.majorVersion = 2;
    library.minorVersion = 0;
    library.helpString = "OLE Automation";

    TypeDefinition unknown;
    unknown.kind = TKIND_INTERFACE;
    unknown.name = "IUnknown";
    unknown.guid = IID_IUnknown;
    unknown.typeFlags = TYPEFLAG_FHIDDEN;
    unknown.functions = {
        Method("QueryInterface", 0x60000000, 0, VT_HRESULT,
               {Param("riid", PointerTo(VT_VOID), PARAMFLAG_FIN),
                Param("ppvObj", TypeDescription::Pointer(PointerTo(VT_VOID)), PARAMFLAG_FOUT)}),
        Method("AddRef", 0x60000001, 1, VT_UI4, {}),
        Method("Release", 0x60000002, 2, VT_UI4, {}),
    };
    library.types.push_back(std::move(unknown));

    TypeDefinition dispatch;
    dispatch.kind = TKIND_INTERFACE;
    dispatch.name = "IDispatch";
    dispatch.guid = IID_IDispatch;
    dispatch.typeFlags = 0;
    dispatch.implTypes = {{TypeRef::Local(StdOleIUnknown), 0}};
    dispatch.functions = {
        Method("GetTypeInfoCount", 0x60010000, 3, VT_HRESULT,
               {Param("pctinfo", PointerTo(VT_UINT), PARAMFLAG_FOUT)}),
        Method("GetTypeInfo", 0x60010001, 4, VT_HRESULT,
               {Param("itinfo", TypeDescription::Basic(VT_UINT), PARAMFLAG_FIN),
                Param("lcid", TypeDescription::Basic(VT_UI4), PARAMFLAG_FIN),
                Param("pptinfo", TypeDescription::Pointer(PointerTo(VT_VOID)), PARAMFLAG_FOUT)}),
        Method("GetIDsOfNames", 0x60010002, 5, VT_HRESULT,
               {Param("riid", PointerTo(VT_VOID), PARAMFLAG_FIN),
                Param("rgszNames", TypeDescription::Pointer(PointerTo(VT_I1)), PARAMFLAG_FIN),
                Param("cNames", TypeDescription::Basic(VT_UINT), PARAMFLAG_FIN),
                Param("lcid", TypeDescription::Basic(VT_UI4), PARAMFLAG_FIN),
                Param("rgdispid", PointerTo(VT_I4), PARAMFLAG_FOUT)}),
        Method("Invoke", 0x60010003, 6, VT_HRESULT,
               {Param("dispidMember", TypeDescription::Basic(VT_I4), PARAMFLAG_FIN),
                Param("riid", PointerTo(VT_VOID), PARAMFLAG_FIN),
                Param("lcid", TypeDescription::Basic(VT_UI4), PARAMFLAG_FIN),
                Param("wFlags", TypeDescription::Basic(VT_UI2), PARAMFLAG_FIN),
                Param("pdispparams", PointerTo(VT_VOID), PARAMFLAG_FIN),
                Param("pvarResult", PointerTo(VT_VARIANT), PARAMFLAG_FOUT),
                Param("pexcepinfo", PointerTo(VT_VOID), PARAMFLAG_FOUT),
                Param("puArgErr", PointerTo(VT_UINT), PARAMFLAG_FOUT)}),
    };
    library.types.push_back(std::move(dispatch));
    return library;
}

} // namespace

std::shared_ptr<const Library> StdOleLibrary()
{
    static const std::shared_ptr<const Library> library =
        std::make_shared<const Library>(MakeStdOle());
    return library;
}

} // namespace quillet::typelib
