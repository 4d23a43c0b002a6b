#include "SystemClock.h"

#include <time.h>

#include "com/DebugLog.h"

REFERENCE_TIME SystemClock::Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return REFERENCE_TIME(now.tv_sec) * 10'000'000 + now.tv_nsec / 100;
}

HRESULT SystemClock::GetTime(REFERENCE_TIME* pTime)
{
    if (!pTime)
        return E_POINTER;
    *pTime = Now();
    return S_OK;
}

HRESULT SystemClock::AdviseTime(REFERENCE_TIME, REFERENCE_TIME, ULONG_PTR,
                                DWORD_PTR* pdwAdviseCookie)
{
    if (!pdwAdviseCookie)
        return E_POINTER;
    *pdwAdviseCookie = 0;
    // FIXME: there are no event handles to signal; no filter here schedules by the clock yet.
    QUILLET_LOG("graph", "clock: AdviseTime is not built");
    return E_NOTIMPL;
}

HRESULT SystemClock::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, ULONG_PTR,
                                    DWORD_PTR* pdwAdviseCookie)
{
    if (!pdwAdviseCookie)
        return E_POINTER;
    *pdwAdviseCookie = 0;
    QUILLET_LOG("graph", "clock: AdvisePeriodic is not built");
    return E_NOTIMPL;
}

HRESULT SystemClock::Unadvise(DWORD_PTR)
{
    return S_FALSE; // no advise is ever outstanding
}
