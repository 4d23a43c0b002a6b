// A snapshot of one system encoding profile, made only by the profile catalogue.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "corvane_dispatch.h"

class WMAProfileInfo final : public EngineObject<IWMAProfileInfo>
{
public:
    WMAProfileInfo(IUnknown* outer, ModuleLock* module);
    ~WMAProfileInfo() override;

    // IWMAProfileInfo
    HRESULT get_Version(wm_profile_version* pVal) override;
    HRESULT get_Index(LONG* pVal) override;
    HRESULT get_Id(BSTR* pVal) override;
    HRESULT get_Bitrate(LONG* pVal) override;
    HRESULT get_Name(BSTR* pVal) override;
    HRESULT get_Description(BSTR* pVal) override;

private:
    // FIXME: the members of this class come with its behaviour.
};
