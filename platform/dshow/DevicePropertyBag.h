// The read-only property bag of a device moniker: "FriendlyName" as VT_BSTR. Used on the
// creating thread.
#pragma once

#include <string>

#include "com/ComObject.h"
#include "dshow/Strmif.h"

class DevicePropertyBag final : public ComObject<IPropertyBag>
{
public:
    // May throw std::bad_alloc.
    explicit DevicePropertyBag(std::string friendlyName);

    HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) override;

private:
    const std::string friendlyName; // UTF-8
};
