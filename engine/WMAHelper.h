// The stateless catalogue class: encoding profiles, capture sources and stream lengths.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "corvane_dispatch.h"

class WMAHelper final : public EngineObject<IWMAHelper, SupportsErrorInfo<IWMAHelper>>
{
public:
    WMAHelper(IUnknown* outer, ModuleLock* module);
    ~WMAHelper() override;

    // IWMAHelper
    HRESULT GetAvailableSystemProfilesInfo(wm_profile_version Version, VARIANT* pInfo) override;
    HRESULT GetAvailableCaptureSourcesInfo(VARIANT* info) override;
    HRESULT GetStreamLength(BSTR FilePath, LONG StreamIndex, DOUBLE* pStreamLength) override;

private:
    // FIXME: the members of this class come with its behaviour.
};
