// A snapshot of one system encoding profile, made only by the profile catalogue: what a client
// shows of a profile and the id it sets as the capture engine's ProfileId.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include <optional>
#include <string>

#include "EngineObject.h"
#include "corvane_dispatch.h"
#include "wmf/Wmf.h"

class WMAProfileInfo final : public EngineObject<IWMAProfileInfo>
{
public:
    WMAProfileInfo(IUnknown* outer, ModuleLock* module);
    ~WMAProfileInfo() override;

    // Fills a fresh object from a profile of the catalogue: the version asked for and the
    // profile's position among all system profiles of that version.
    HRESULT InitFromProfile(IWMProfile* profile, LONG version, LONG index);

    // IWMAProfileInfo
    HRESULT get_Version(wm_profile_version* pVal) override;
    HRESULT get_Index(LONG* pVal) override;
    HRESULT get_Id(BSTR* pVal) override;
    HRESULT get_Bitrate(LONG* pVal) override;
    HRESULT get_Name(BSTR* pVal) override;
    HRESULT get_Description(BSTR* pVal) override;

private:
    LONG version = 0;
    LONG index = -1;
    std::u16string id; // registry form, 38 characters; empty when not set
    DWORD bitrate = 0;
    std::optional<std::u16string> name;
    std::optional<std::u16string> description;
};
