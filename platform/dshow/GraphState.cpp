#include "GraphState.h"

#include <chrono>

#include "com/DebugLog.h"

namespace {
// Stops every filter after a failed transition, so that none is left streaming.
void StopAll(std::span<const ComPtr<IBaseFilter>> filters)
{
    for (const ComPtr<IBaseFilter>& filter : filters)
        filter->Stop();
}
} // namespace

HRESULT GraphState::Pause(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now)
{
    if (target == State_Running)
        heldPosition = now - streamStart;
    else if (target == State_Stopped)
        heldPosition = 0;
    target = State_Paused;
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : filters) {
        HRESULT hr = filter->Pause();
        if (FAILED(hr)) {
            QUILLET_LOG("graph", "pause failed: 0x%08X", unsigned(hr));
            StopAll(filters);
            target = State_Stopped;
            return hr;
        }
        if (hr == S_FALSE)
            result = S_FALSE;
    }
    return result;
}

HRESULT GraphState::Run(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now)
{
    HRESULT result = S_OK;
    if (target == State_Running)
        return S_OK;
    if (target == State_Stopped) {
        result = Pause(filters, now);
        if (FAILED(result))
            return result;
    }
    // The stream continues where the pause held it.
    streamStart = now - heldPosition;
    target = State_Running;
    for (const ComPtr<IBaseFilter>& filter : filters) {
        HRESULT hr = filter->Run(streamStart);
        if (FAILED(hr)) {
            QUILLET_LOG("graph", "run failed: 0x%08X", unsigned(hr));
            StopAll(filters);
            target = State_Stopped;
            return hr;
        }
        if (hr == S_FALSE)
            result = S_FALSE;
    }
    return result;
}

HRESULT GraphState::Stop(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now)
{
    if (target == State_Running)
        heldPosition = now - streamStart;
    target = State_Stopped;
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : filters) {
        HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT GraphState::GetState(std::span<const ComPtr<IBaseFilter>> filters, DWORD msTimeout,
                             FILTER_STATE* state) const
{
    if (!state)
        return E_POINTER;
    *state = target;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(msTimeout);
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : filters) {
        DWORD remaining = INFINITE;
        if (msTimeout != INFINITE) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            remaining = left.count() > 0 ? DWORD(left.count()) : 0;
        }
        FILTER_STATE filterState = State_Stopped;
        HRESULT hr = filter->GetState(remaining, &filterState);
        if (FAILED(hr))
            return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE)
            result = VFW_S_STATE_INTERMEDIATE;
        else if (hr == VFW_S_CANT_CUE && result == S_OK)
            result = VFW_S_CANT_CUE;
    }
    return result;
}

REFERENCE_TIME GraphState::Position(REFERENCE_TIME now) const
{
    return target == State_Running ? now - streamStart : heldPosition;
}
