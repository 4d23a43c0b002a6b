#include "EventSink.h"

#include <cstdio>

#include "CommandErrors.h"
#include "com/Bstr.h"
#include "com/TypeInfo.h"

namespace {

void ThrowIfFailed(HRESULT hr, const std::string& context)
{
    if (FAILED(hr))
        throw AutomationError(context, hr, {});
}

// The default source dispinterface of the object's class, read from the type library that
// describes the object, as a scripting host finds the events it may bind handlers to.
ComPtr<ITypeInfo> EventInterfaceOf(const AutomationObject& source)
{
    const std::string context = "reading the events of " + source.ClassName();
    ComPtr<ITypeInfo> own;
    ThrowIfFailed(source.Dispatch()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &own), context);
    ComPtr<ITypeLib> library;
    UINT index = 0;
    ThrowIfFailed(own->GetContainingTypeLib(&library, &index), context);
    ComPtr<ITypeInfo> coclass;
    ThrowIfFailed(library->GetTypeInfoOfGuid(source.ClassId(), &coclass), context);
    TYPEATTR* attributes = nullptr;
    ThrowIfFailed(coclass->GetTypeAttr(&attributes), context);
    const UINT implemented = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> events;
        const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        if (SUCCEEDED(coclass->GetImplTypeFlags(i, &flags)) && (flags & wanted) == wanted &&
            SUCCEEDED(coclass->GetRefTypeOfImplType(i, &reference)) &&
            SUCCEEDED(coclass->GetRefTypeInfo(reference, &events)))
            return events;
    }
    throw AutomationError(context + ": the class has no default event interface",
                          TYPE_E_ELEMENTNOTFOUND, {});
}

} // namespace

const VARIANT& EventArguments::operator[](UINT index) const
{
    if (index >= Count())
        return missing;
    return params->rgvarg[params->cArgs - 1 - index];
}

EventSink::Connection EventSink::Connect(const AutomationObject& source,
                                         std::vector<std::pair<std::string, EventHandler>> handlers)
{
    ComPtr<ITypeInfo> events = EventInterfaceOf(source);
    ComPtr<EventSink> sink = ComPtr<EventSink>::Adopt(new EventSink);
    TYPEATTR* attributes = nullptr;
    ThrowIfFailed(events->GetTypeAttr(&attributes), "reading the events of " + source.ClassName());
    sink->eventsId = attributes->guid;
    events->ReleaseTypeAttr(attributes);

    for (auto& [name, handler] : handlers) {
        std::u16string wide = quillet::Utf8ToUtf16(name);
        LPOLESTR names[1] = {wide.data()};
        MEMBERID id = MEMBERID_NIL;
        ThrowIfFailed(events->GetIDsOfNames(names, 1, &id),
                      source.ClassName() + " has no event " + name);
        sink->handlers[id] = std::move(handler);
    }

    const std::string context = "connecting to the events of " + source.ClassName();
    ComPtr<IConnectionPointContainer> container;
    ThrowIfFailed(source.Dispatch()->QueryInterface(IID_PPV_ARGS(&container)), context);
    ThrowIfFailed(container->FindConnectionPoint(sink->eventsId, &sink->point), context);
    HRESULT hr = sink->point->Advise(static_cast<IDispatch*>(sink.Get()), &sink->cookie);
    if (FAILED(hr)) {
        sink->point.Reset();
        throw AutomationError(context, hr, {});
    }
    return Connection(std::move(sink));
}

void EventSink::Disconnect()
{
    if (ComPtr<IConnectionPoint> advised = std::move(point))
        advised->Unadvise(cookie);
    handlers.clear();
}

HRESULT EventSink::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (ppTInfo)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT EventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                          VARIANT* pVarResult, EXCEPINFO*, UINT*)
{
    if (pVarResult)
        VariantInit(pVarResult);
    auto handler = handlers.find(dispIdMember);
    if (handler == handlers.end())
        return S_OK; // an event that this command does not follow
    try {
        handler->second(EventArguments(pDispParams));
        return S_OK;
    } catch (const std::exception& failure) {
        // Nothing may unwind into the engine's event call; the command goes on without it.
        std::fprintf(stderr, "quillet-cli: handling event %d failed: %s\n", int(dispIdMember),
                     failure.what());
        return E_FAIL;
    }
}

void* EventSink::FindInterface(REFIID riid)
{
    // The connection point accepts only a sink that answers for its event interface.
    if (riid == eventsId && riid != IID_NULL)
        return static_cast<IDispatch*>(this);
    return ComObject::FindInterface(riid);
}
