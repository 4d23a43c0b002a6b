// A small in-process server: two creatable classes, one registered class without a factory, a
// registration script, and the four exports that the runtime looks for.
#include "TestServer.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <string>

#include "com/ClassFactory.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/Registrar.h"

namespace {

ModuleLock moduleLock;

class TestCounter : public ComObject<ITestCounter>
{
public:
    using ComObject::ComObject;
    HRESULT GetValue(LONG* value) override
    {
        if (!value)
            return E_POINTER;
        *value = current;
        return S_OK;
    }
    HRESULT SetValue(LONG value) override
    {
        current = value;
        return S_OK;
    }

private:
    LONG current = 7;
};

class TestSolitary final : public TestCounter
{
public:
    using TestCounter::TestCounter;
};

constexpr const char kScript[] = R"(HKCR
{
	Quillet.TestCounter.1 = s 'TestCounter Class'
	{
		CLSID = s '{5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A10}'
	}
	NoRemove CLSID
	{
		ForceRemove {5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A10} = s 'TestCounter Class'
		{
			ProgID = s 'Quillet.TestCounter.1'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
		ForceRemove {5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A11} = s 'TestSolitary Class'
		{
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
		ForceRemove {5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A12} = s 'TestHidden Class'
		{
			InprocServer32 = s '%MODULE%'
		}
	}
}
)";

std::string ModulePath()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ModulePath), &info);
    return info.dli_fname ? info.dli_fname : "";
}

// Factories are made once and kept until the module unloads.
std::mutex factoriesMutex;
IClassFactory* counterFactory = nullptr;
IClassFactory* solitaryFactory = nullptr;

template <class Factory> HRESULT GetFactory(IClassFactory** slot, REFIID riid, void** ppv)
{
    std::lock_guard lock(factoriesMutex);
    if (!*slot) {
        HRESULT hr = CreateComObject<Factory>(nullptr, &moduleLock, IID_IClassFactory,
                                              reinterpret_cast<void**>(slot));
        if (FAILED(hr))
            return hr;
    }
    return (*slot)->QueryInterface(riid, ppv);
}

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT
DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_TestCounter)
        return GetFactory<ClassFactory<TestCounter>>(&counterFactory, riid, ppv);
    if (rclsid == CLSID_TestSolitary)
        return GetFactory<ClassFactory<TestSolitary, Aggregation::Refused>>(&solitaryFactory, riid,
                                                                            ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return moduleLock.Count() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    return RunRegistrationScript(kScript, {{"MODULE", ModulePath()}}, true);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return RunRegistrationScript(kScript, {{"MODULE", ModulePath()}}, false);
}

extern "C" __attribute__((visibility("default"))) QuilletResource
QuilletFindResource(const char* type, int id)
{
    if (type && std::strcmp(type, "REGISTRY") == 0 && id == 101)
        return {kScript, sizeof kScript - 1};
    return {nullptr, 0};
}

// The factories live as long as the module; release them when it is unloaded.
__attribute__((destructor)) static void ReleaseFactories()
{
    if (counterFactory)
        counterFactory->Release();
    if (solitaryFactory)
        solitaryFactory->Release();
}
