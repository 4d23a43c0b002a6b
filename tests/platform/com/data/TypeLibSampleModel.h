// A small recorder library in the shape the IDL compiler produces: an enum behind an alias, a
// dual interface with both views, an event dispinterface and a creatable class. Shared by the
// type library tests and by the generator that embeds it in the test module.
#pragma once

#include "com/TypeLibModel.h"

namespace quillet::typelib::sample {

inline constexpr GUID LIBID_SampleLib = MakeGuid("5a1e0001-7c2b-4f0e-9a51-1c0ffee00001");
inline constexpr GUID GUID_RecStateEnum = MakeGuid("5a1e0002-7c2b-4f0e-9a51-1c0ffee00001");
inline constexpr GUID IID_ISampleRecorder = MakeGuid("5a1e0003-7c2b-4f0e-9a51-1c0ffee00001");
inline constexpr GUID DIID_ISampleRecorderEvents = MakeGuid("5a1e0004-7c2b-4f0e-9a51-1c0ffee00001");
inline constexpr GUID CLSID_SampleRecorder = MakeGuid("5a1e0005-7c2b-4f0e-9a51-1c0ffee00001");

// Type indices in the library.
inline constexpr uint16_t IndexRecStateEnum = 0;
inline constexpr uint16_t IndexRecState = 1;
inline constexpr uint16_t IndexRecorder = 2;
inline constexpr uint16_t IndexEvents = 3;
inline constexpr uint16_t IndexClass = 4;

inline Parameter In(const char* name, TypeDescription type)
{
    return {name, std::move(type), PARAMFLAG_FIN, std::nullopt};
}

inline Parameter Retval(const char* name, TypeDescription pointee)
{
    return {name, TypeDescription::Pointer(std::move(pointee)), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL,
            std::nullopt};
}

inline Parameter WithDefault(Parameter param, ConstantValue value)
{
    param.flags |= PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
    param.defaultValue = std::move(value);
    return param;
}

inline Function Member(const char* name, MEMBERID memid, INVOKEKIND invokeKind, FUNCKIND funcKind,
                       int slot, TypeDescription result, std::vector<Parameter> params,
                       const char* help = "")
{
    Function function;
    function.name = name;
    function.memid = memid;
    function.invokeKind = invokeKind;
    function.funcKind = funcKind;
    function.oVft = SHORT(funcKind == FUNC_PUREVIRTUAL ? 8 * slot : 0);
    function.returnType = std::move(result);
    function.params = std::move(params);
    function.helpString = help;
    for (const Parameter& param : function.params)
        if (param.flags & PARAMFLAG_FOPT)
            ++function.optionalCount;
    return function;
}

inline Library MakeSampleLibrary()
{
    using T = TypeDescription;
    const T recState = T::UserDefined(TypeRef::Local(IndexRecState));
    const T devices = T::SafeArray(T::Basic(VT_BSTR));

    Library library;
    library.name = "SampleRecorderLib";
    library.guid = LIBID_SampleLib;
    library.majorVersion = 1;
    library.minorVersion = 10;
    library.helpString = "Sample recorder type library";

    TypeDefinition states;
    states.kind = TKIND_ENUM;
    states.name = "__MIDL___MIDL_itf_sample_0001";
    states.guid = GUID_RecStateEnum;
    for (int32_t i = 0; const char* name : {"rsStopped", "rsRecording", "rsPaused"}) {
        Variable constant;
        constant.name = name;
        constant.memid = 0x40000000 + i;
        constant.value = ConstantValue::Long(i);
        states.variables.push_back(constant);
        ++i;
    }
    library.types.push_back(states);

    TypeDefinition alias;
    alias.kind = TKIND_ALIAS;
    alias.name = "RecState";
    alias.aliasType = T::UserDefined(TypeRef::Local(IndexRecStateEnum));
    library.types.push_back(alias);

    TypeDefinition recorder;
    recorder.kind = TKIND_DISPATCH;
    recorder.name = "ISampleRecorder";
    recorder.guid = IID_ISampleRecorder;
    recorder.helpString = "Records from one device";
    recorder.typeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    recorder.implTypes = {{TypeRef::StdOle(StdOleIDispatch), 0}};
    constexpr FUNCKIND D = FUNC_DISPATCH;
    recorder.functions = {
        Member("Volume", 1, INVOKE_PROPERTYGET, D, 0, T::Basic(VT_I4), {}, "Input volume"),
        Member("Volume", 1, INVOKE_PROPERTYPUT, D, 0, T::Basic(VT_VOID),
               {In("newVal", T::Basic(VT_I4))}),
        Member("Record", 2, INVOKE_FUNC, D, 0, T::Basic(VT_BOOL),
               {In("fileName", T::Basic(VT_BSTR)),
                WithDefault(In("seconds", T::Basic(VT_I4)), ConstantValue::Long(5))},
               "Starts recording"),
        Member("State", 3, INVOKE_PROPERTYGET, D, 0, recState, {}),
        Member("Stop", 4, INVOKE_FUNC, D, 0, T::Basic(VT_VOID),
               {WithDefault(In("flush", T::Basic(VT_BOOL)), ConstantValue::Bool(true))}),
        Member("Devices", 5, INVOKE_PROPERTYGET, D, 0, devices, {}),
    };
    InterfaceView twin;
    twin.typeFlags =
        TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    twin.implTypes = {{TypeRef::StdOle(StdOleIDispatch), 0}};
    constexpr FUNCKIND V = FUNC_PUREVIRTUAL;
    const T hresult = T::Basic(VT_HRESULT);
    twin.functions = {
        Member("Volume", 1, INVOKE_PROPERTYGET, V, 7, hresult, {Retval("pVal", T::Basic(VT_I4))},
               "Input volume"),
        Member("Volume", 1, INVOKE_PROPERTYPUT, V, 8, hresult, {In("newVal", T::Basic(VT_I4))}),
        Member("Record", 2, INVOKE_FUNC, V, 9, hresult,
               {In("fileName", T::Basic(VT_BSTR)),
                WithDefault(In("seconds", T::Basic(VT_I4)), ConstantValue::Long(5)),
                Retval("started", T::Basic(VT_BOOL))},
               "Starts recording"),
        Member("State", 3, INVOKE_PROPERTYGET, V, 10, hresult, {Retval("pVal", recState)}),
        Member("Stop", 4, INVOKE_FUNC, V, 11, hresult,
               {WithDefault(In("flush", T::Basic(VT_BOOL)), ConstantValue::Bool(true))}),
        Member("Devices", 5, INVOKE_PROPERTYGET, V, 12, hresult, {Retval("pVal", devices)}),
    };
    recorder.dualInterface = twin;
    library.types.push_back(recorder);

    TypeDefinition events;
    events.kind = TKIND_DISPATCH;
    events.name = "_ISampleRecorderEvents";
    events.guid = DIID_ISampleRecorderEvents;
    events.typeFlags = TYPEFLAG_FDISPATCHABLE;
    events.implTypes = {{TypeRef::StdOle(StdOleIDispatch), 0}};
    events.functions = {
        Member("StateChanged", 1, INVOKE_FUNC, D, 0, T::Basic(VT_VOID), {In("newState", recState)}),
        Member("Level", 2, INVOKE_FUNC, D, 0, T::Basic(VT_VOID),
               {In("peak", T::Basic(VT_R8)), In("source", T::Basic(VT_DISPATCH))}),
    };
    library.types.push_back(events);

    TypeDefinition recorderClass;
    recorderClass.kind = TKIND_COCLASS;
    recorderClass.name = "SampleRecorder";
    recorderClass.guid = CLSID_SampleRecorder;
    recorderClass.helpString = "The sample recorder";
    recorderClass.typeFlags = TYPEFLAG_FCANCREATE;
    recorderClass.implTypes = {
        {TypeRef::Local(IndexRecorder), IMPLTYPEFLAG_FDEFAULT},
        {TypeRef::Local(IndexEvents), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    library.types.push_back(recorderClass);
    return library;
}

} // namespace quillet::typelib::sample
