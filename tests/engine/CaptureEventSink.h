// An advised sink for the capture engine's events: records each event with its arguments, and
// answers SampleFormat as the test says. The test thread pumps messages for the events that
// arrive through the engine's window.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "com/Bstr.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoints.h"
#include "corvane.h"
#include "user/User.h"

struct CaptureEvent
{
    DISPID dispid;
    std::vector<BYTE> bytes; // SampleFormat, SampleData
    double number = 0;       // SampleData time, PositionProgress
    LONG longs[3] = {0, 0, 0};
    std::string text;
    std::chrono::steady_clock::time_point when;
};

class CaptureEventSink final : public ComObject<IDispatch>
{
public:
    CaptureEventSink() : ComObject(nullptr, nullptr) {}

    VARIANT_BOOL acceptSamples = VARIANT_TRUE;
    std::vector<CaptureEvent> events;

    size_t Count(DISPID dispid) const
    {
        size_t count = 0;
        for (const CaptureEvent& event : events)
            count += event.dispid == dispid;
        return count;
    }

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        CaptureEvent event{dispid, {}, 0, {0, 0, 0}, {}, std::chrono::steady_clock::now()};
        VARIANT* args = params->rgvarg;
        UINT count = params->cArgs;
        auto bytesOf = [](const VARIANT& value) {
            std::vector<BYTE> bytes;
            if (value.vt == (VT_ARRAY | VT_UI1) && value.parray) {
                auto* data = static_cast<BYTE*>(value.parray->pvData);
                bytes.assign(data, data + value.parray->rgsabound[0].cElements);
            }
            return bytes;
        };
        switch (dispid) {
        case 1: // SampleFormat(payload, [in, out] accept)
            if (count == 2) {
                event.bytes = bytesOf(args[1]);
                if (args[0].vt == (VT_BOOL | VT_BYREF))
                    *args[0].pboolVal = acceptSamples;
            }
            break;
        case 2:
            if (count == 1 && args[0].vt == VT_BSTR)
                event.text = Bstr(args[0].bstrVal).Utf8();
            break;
        case 3:
            if (count == 2) {
                event.bytes = bytesOf(args[1]);
                event.number = args[0].dblVal;
            }
            break;
        case 4:
            if (count == 1)
                event.number = args[0].dblVal;
            break;
        default:
            for (UINT i = 0; i < count && i < 3; ++i)
                event.longs[i] = args[count - 1 - i].lVal;
            break;
        }
        events.push_back(std::move(event));
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == DIID__IWMACaptureEvents)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }
};

// Dispatches this thread's messages until done() or the time runs out.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else
            usleep(2000);
    }
    return true;
}

inline void PumpFor(std::chrono::milliseconds span)
{
    PumpUntil([] { return false; }, span);
}

// Advises a sink on the engine's connection point and returns the cookie (0 on failure).
inline DWORD AdviseSink(IUnknown* engine, IDispatch* sink)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (FAILED(engine->QueryInterface(IID_PPV_ARGS(&container))) ||
        FAILED(container->FindConnectionPoint(DIID__IWMACaptureEvents, &point)) ||
        FAILED(point->Advise(sink, &cookie)))
        return 0;
    return cookie;
}
