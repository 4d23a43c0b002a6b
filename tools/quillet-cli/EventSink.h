// The receiving end of an object's events, bound by name. The sink reads the object's class in
// its type library (IDispatch::GetTypeInfo, the containing library, the class's default source
// dispinterface), looks up the DISPID of every event it is given a handler for with that
// dispinterface's GetIDsOfNames, and advises itself on the object's connection point.
// Handlers run on the object's thread, inside the message dispatch that fires the event.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "AutomationObject.h"
#include "com/ComObject.h"
#include "com/ConnectionPoints.h"

// The arguments of one event, in declaration order (automation delivers them reversed).
class EventArguments
{
public:
    explicit EventArguments(DISPPARAMS* params) : params(params) {}

    UINT Count() const { return params ? params->cArgs : 0; }
    // Parameter `index` (0 = the first declared); an empty variant past the last one given.
    // A by-reference parameter is answered through the pointer that the variant holds.
    const VARIANT& operator[](UINT index) const;

private:
    DISPPARAMS* params;
    VARIANT missing{};
};

using EventHandler = std::function<void(const EventArguments&)>;

class EventSink final : public ComObject<IDispatch>
{
public:
    // Keeps a sink advised while it lives. The connection point holds the sink and the sink
    // holds the connection point, so the sink cannot end the connection from its own
    // destructor: its owner does, also when an exception unwinds past it.
    class Connection
    {
    public:
        explicit Connection(ComPtr<EventSink> sink) : sink(std::move(sink)) {}
        ~Connection() { Close(); }
        Connection(Connection&&) = default;
        Connection& operator=(Connection&&) = delete;

        // Unadvises; no handler runs afterwards. Safe to call twice.
        void Close()
        {
            if (sink)
                sink->Disconnect();
        }

    private:
        ComPtr<EventSink> sink;
    };

    // Binds each named event to its handler and advises the sink on the source object. Throws
    // AutomationError when the class has no events or lacks one of the names.
    static Connection Connect(const AutomationObject& source,
                              std::vector<std::pair<std::string, EventHandler>> handlers);

    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    EventSink() = default;
    void Disconnect();

    IID eventsId = IID_NULL;
    std::map<DISPID, EventHandler> handlers;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};
