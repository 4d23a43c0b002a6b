// The reference clock: the monotonic clock of the system in 100-nanosecond units. Any thread.
#pragma once

#include "com/ComObject.h"
#include "dshow/Strmif.h"

class SystemClock final : public ComObject<IReferenceClock>
{
public:
    SystemClock(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

    // The monotonic time now, in 100-nanosecond units.
    static REFERENCE_TIME Now();

    HRESULT GetTime(REFERENCE_TIME* pTime) override;
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, ULONG_PTR hEvent,
                       DWORD_PTR* pdwAdviseCookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                           ULONG_PTR hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    HRESULT Unadvise(DWORD_PTR dwAdviseCookie) override;
};
