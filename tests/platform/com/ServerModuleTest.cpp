// The runtime against a real in-process server: registration through its script, creation by
// CLSID through the registry and dlopen, aggregation, unloading and unregistration.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "TempFolder.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "registry/Registry.h"
#include "server/TestServer.h"

namespace {

PrivateRegistry privateRegistry;

// Calls one of the server's exports by name, through its own dlopen handle.
HRESULT CallExport(const char* name)
{
    void* module = dlopen(QUILLET_TEST_SERVER, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return E_FAIL;
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(module, name));
    HRESULT hr = function ? function() : E_FAIL;
    dlclose(module);
    return hr;
}

bool KeyExists(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// An outer object that aggregates a counter and exposes its interface as its own.
class Outer final : public ComObject<IDispatch>
{
public:
    Outer() : ComObject(nullptr, nullptr) {}
    ~Outer() override = default;

    HRESULT Aggregate(REFCLSID clsid)
    {
        return CoCreateInstance(clsid, static_cast<IDispatch*>(this), CLSCTX_INPROC_SERVER,
                                IID_IUnknown, inner.ReleaseAndGetVoidAddress());
    }
    ComPtr<IUnknown> inner;

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_ITestCounter && inner) {
            void* counter = nullptr;
            // The inner object's interface AddRefs the outer object; hand it back without the
            // extra reference that InnerQueryInterface will take again.
            if (SUCCEEDED(inner->QueryInterface(riid, &counter))) {
                static_cast<IUnknown*>(counter)->Release();
                return counter;
            }
        }
        return ComObject::FindInterface(riid);
    }
};

class ServerModuleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
};

} // namespace

TEST_F(ServerModuleTest, CreatesRegisteredClassesThroughTheRegistry)
{
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&counter)),
        S_OK);
    LONG value = 0;
    ASSERT_EQ(counter->GetValue(&value), S_OK);
    EXPECT_EQ(value, 7);

    // Two objects are two identities.
    ComPtr<ITestCounter> other;
    ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&other)), S_OK);
    other->SetValue(9);
    counter->GetValue(&value);
    EXPECT_EQ(value, 7);

    ComPtr<IDispatch> wrong;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wrong)),
        E_NOINTERFACE);
}

TEST_F(ServerModuleTest, RefusesClassesItHasNoFactoryFor)
{
    ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestHidden, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
        CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(CoCreateInstance(MakeGuid("00000000-1111-2222-3333-444444444444"), nullptr,
                               CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
        E_POINTER);
}

TEST_F(ServerModuleTest, ModuleStaysWhileObjectsLive)
{
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&counter)),
        S_OK);
    auto* loaded = dlopen(QUILLET_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(loaded, nullptr);
    auto canUnload = reinterpret_cast<HRESULT (*)()>(dlsym(loaded, "DllCanUnloadNow"));
    EXPECT_EQ(canUnload(), S_FALSE);
    CoFreeUnusedLibraries();
    LONG value = 0;
    EXPECT_EQ(counter->GetValue(&value), S_OK); // still callable: the module was kept

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)),
        S_OK);
    counter.Reset();
    EXPECT_EQ(canUnload(), S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);
    factory.Reset();
    dlclose(loaded);
    CoFreeUnusedLibraries();
    EXPECT_EQ(dlopen(QUILLET_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(ServerModuleTest, AggregatesInsideAnOuterObject)
{
    auto* outer = new Outer;
    ASSERT_EQ(outer->Aggregate(CLSID_TestCounter), S_OK);
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(outer->QueryInterface(IID_PPV_ARGS(&counter)), S_OK);
    // The aggregated interface answers for the outer object's identity.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(counter->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
    ComPtr<IUnknown> outerIdentity;
    ASSERT_EQ(outer->QueryInterface(IID_PPV_ARGS(&outerIdentity)), S_OK);
    EXPECT_EQ(identity.Get(), outerIdentity.Get());
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(counter->QueryInterface(IID_PPV_ARGS(&dispatch)), S_OK);
    LONG value = 0;
    EXPECT_EQ(counter->GetValue(&value), S_OK);
    EXPECT_EQ(value, 7);
    counter.Reset();
    identity.Reset();
    outerIdentity.Reset();
    dispatch.Reset();
    outer->inner.Reset();
    outer->Release();

    ComPtr<IUnknown> refused;
    auto* lonely = new Outer;
    EXPECT_EQ(lonely->Aggregate(CLSID_TestSolitary), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, static_cast<IDispatch*>(lonely),
                               CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               refused.ReleaseAndGetVoidAddress()),
              E_INVALIDARG);
    lonely->Release();
}

TEST_F(ServerModuleTest, ProgIdsMapBothWays)
{
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestCounter, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Quillet.TestCounter.1");
    CoTaskMemFree(progId);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Quillet.TestCounter.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestCounter);
    ASSERT_EQ(CLSIDFromString(u"Quillet.TestCounter.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestCounter);
    EXPECT_EQ(CLSIDFromProgID(u"Quillet.Nothing.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestSolitary, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
}

TEST_F(ServerModuleTest, UnregisteringLeavesTheSharedParents)
{
    const std::string key = "CLSID\\{5E1B7C7A-3D8E-4C1F-9B0A-2F6D4C8E1A10}";
    EXPECT_TRUE(KeyExists(key + "\\InprocServer32"));
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK); // twice is fine
    ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(key));
    EXPECT_FALSE(KeyExists("Quillet.TestCounter.1"));
    EXPECT_TRUE(KeyExists("CLSID"));
    ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
        REGDB_E_CLASSNOTREG);
}

TEST(ComRuntimeTest, CreationNeedsInitialisation)
{
    ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    OleUninitialize();
    CoUninitialize();
}
