// The interfaces and classes of the in-process server that the COM runtime tests load.
#pragma once

#include "com/OleAuto.h"

// A counter that can be read and set, to tell objects apart.
struct ITestCounter : IUnknown
{
    virtual HRESULT GetValue(LONG* value) = 0;
    virtual HRESULT SetValue(LONG value) = 0;

protected:
    ~ITestCounter() = default;
};
QUILLET_DECLARE_IID(ITestCounter, "5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A01");

// Aggregatable.
inline constexpr CLSID CLSID_TestCounter = MakeGuid("5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A10");
// Refuses aggregation.
inline constexpr CLSID CLSID_TestSolitary = MakeGuid("5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A11");
// Registered, but the module has no factory for it.
inline constexpr CLSID CLSID_TestHidden = MakeGuid("5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A12");
