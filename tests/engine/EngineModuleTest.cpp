// The engine as a client that knows only CLSIDs sees it: creation through the registry and
// dlopen, identities, aggregation, the module lock and error reporting.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "EngineTestEnvironment.h"
#include "com/Bstr.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoints.h"
#include "com/TypeInfo.h"
#include "corvane.h"
#include "dshow/Strmif.h"
#include "user/User.h"

namespace {

class EngineModuleTest : public EngineTest
{
};

struct CreatableClass
{
    const CLSID* clsid;
    const IID* defaultIid;
    const char* progId;
};

const CreatableClass kCreatable[] = {
    {&CLSID_WMACapture, &IID_IWMACapture, "corvane.WMACapture.1"},
    {&CLSID_SimplePlayback, &IID_ISimplePlayback, "corvane.SimplePlayback.1"},
    {&CLSID_ClipAttributesEditor, &IID_IClipAttributesEditor, "corvane.ClipAttributesEditor.1"},
    {&CLSID_WMAHelper, &IID_IWMAHelper, "corvane.WMAHelper.1"},
};

HRESULT CanUnloadNow()
{
    void* module = dlopen(QUILLET_ENGINE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return E_FAIL;
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllCanUnloadNow"));
    HRESULT hr = function ? function() : E_FAIL;
    dlclose(module);
    return hr;
}

// An outer object that aggregates an engine object and hands out its interfaces.
class Outer final : public ComObject<IDispatch>
{
public:
    Outer() : ComObject(nullptr, nullptr) {}
    ComPtr<IUnknown> inner;
    IID delegated = IID_NULL;

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
        if (riid == delegated && inner) {
            void* found = nullptr;
            if (SUCCEEDED(inner->QueryInterface(riid, &found))) {
                static_cast<IUnknown*>(found)->Release();
                return found;
            }
        }
        return ComObject::FindInterface(riid);
    }
};

} // namespace

TEST_F(EngineModuleTest, CreatableClassesComeThroughTheRegistry)
{
    for (const CreatableClass& c : kCreatable) {
        SCOPED_TRACE(c.progId);
        ComPtr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
                  S_OK);
        ComPtr<IUnknown> viaDefault;
        EXPECT_EQ(object->QueryInterface(*c.defaultIid, viaDefault.ReleaseAndGetVoidAddress()),
                  S_OK);
        ComPtr<ISupportErrorInfo> errors;
        ASSERT_EQ(object->QueryInterface(IID_PPV_ARGS(&errors)), S_OK);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*c.defaultIid), S_OK);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
        UINT count = 0;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(object->GetTypeInfo(0, 0, &typeInfo), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->guid, *c.defaultIid);
        typeInfo->ReleaseTypeAttr(attr);

        LPOLESTR progId = nullptr;
        ASSERT_EQ(ProgIDFromCLSID(*c.clsid, &progId), S_OK);
        EXPECT_EQ(quillet::Utf16ToUtf8(progId), c.progId);
        CoTaskMemFree(progId);
    }
}

TEST_F(EngineModuleTest, SnapshotClassesHaveNoFactory)
{
    for (const CLSID* clsid : {&CLSID_WMAProfileInfo, &CLSID_AudioCaptureSourceInfo}) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_FALSE(object);
    }
}

TEST_F(EngineModuleTest, EachClassAnswersExactlyItsInterfaces)
{
    struct Case
    {
        const CLSID* clsid;
        std::vector<const IID*> answered;
    };
    const Case cases[] = {
        {&CLSID_WMACapture,
         {&IID_IWMACapture, &IID_IDispatch, &IID_ISupportErrorInfo, &IID_IConnectionPointContainer,
          &IID_ISampleGrabberCB}},
        {&CLSID_SimplePlayback,
         {&IID_ISimplePlayback, &IID_IDispatch, &IID_ISupportErrorInfo,
          &IID_IConnectionPointContainer}},
        {&CLSID_ClipAttributesEditor,
         {&IID_IClipAttributesEditor, &IID_IDispatch, &IID_ISupportErrorInfo}},
        {&CLSID_WMAHelper, {&IID_IWMAHelper, &IID_IDispatch, &IID_ISupportErrorInfo}},
    };
    const IID* all[] = {
        &IID_IWMACapture,      &IID_ISimplePlayback,   &IID_IClipAttributesEditor,
        &IID_IWMAHelper,       &IID_IWMAProfileInfo,   &IID_IAudioCaptureSourceInfo,
        &IID_IDispatch,        &IID_ISupportErrorInfo, &IID_IConnectionPointContainer,
        &IID_ISampleGrabberCB, &IID_IClassFactory,     &IID_IConnectionPoint,
        &IID_IBaseFilter};
    for (const Case& c : cases) {
        ComPtr<IUnknown> object;
        ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
                  S_OK);
        for (const IID* iid : all) {
            bool expected =
                std::find(c.answered.begin(), c.answered.end(), iid) != c.answered.end();
            void* sentinel = reinterpret_cast<void*>(0xdeadbeef);
            void* out = sentinel;
            HRESULT hr = object->QueryInterface(*iid, &out);
            EXPECT_EQ(hr, expected ? S_OK : E_NOINTERFACE);
            if (SUCCEEDED(hr)) {
                // Every interface leads back to one identity.
                ComPtr<IUnknown> identity;
                static_cast<IUnknown*>(out)->QueryInterface(IID_PPV_ARGS(&identity));
                EXPECT_EQ(identity.Get(), object.Get());
                static_cast<IUnknown*>(out)->Release();
            } else {
                EXPECT_EQ(out, nullptr);
            }
        }
    }
}

TEST_F(EngineModuleTest, ConnectionPointsAreTheEventInterfaces)
{
    const std::pair<const CLSID*, const IID*> cases[] = {
        {&CLSID_WMACapture, &DIID__IWMACaptureEvents},
        {&CLSID_SimplePlayback, &DIID__ISimplePlaybackEvents},
    };
    for (const auto& [clsid, events] : cases) {
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&container)),
                  S_OK);
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(*events, &point), S_OK);
        IID iid{};
        EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
        EXPECT_EQ(iid, *events);
        ComPtr<IConnectionPoint> other;
        EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
    }
}

TEST_F(EngineModuleTest, ModuleIsLockedWhileObjectsLive)
{
    ComPtr<IWMAHelper> helper;
    ASSERT_EQ(
        CoCreateInstance(CLSID_WMAHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper)),
        S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    helper.Reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        CoGetClassObject(CLSID_WMACapture, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(EngineModuleTest, CreatableClassesCanBeAggregated)
{
    for (const CreatableClass& c : kCreatable) {
        SCOPED_TRACE(c.progId);
        auto* outer = new Outer;
        outer->delegated = *c.defaultIid;
        ASSERT_EQ(CoCreateInstance(*c.clsid, static_cast<IDispatch*>(outer), CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, outer->inner.ReleaseAndGetVoidAddress()),
                  S_OK);
        ComPtr<IDispatch> engineInterface;
        ASSERT_EQ(outer->QueryInterface(*c.defaultIid, engineInterface.ReleaseAndGetVoidAddress()),
                  S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(engineInterface->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
        ComPtr<IUnknown> outerIdentity;
        ASSERT_EQ(outer->QueryInterface(IID_PPV_ARGS(&outerIdentity)), S_OK);
        EXPECT_EQ(identity.Get(), outerIdentity.Get());
        outerIdentity.Reset();
        identity.Reset();
        engineInterface.Reset();
        outer->inner.Reset();
        outer->Release();
    }
}

TEST_F(EngineModuleTest, ErrorsReachTheClientWithTheirSource)
{
    ComPtr<IWMACapture> capture;
    ASSERT_EQ(
        CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&capture)),
        S_OK);
    EXPECT_EQ(capture->Build(), E_FAIL);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr description, source;
    info->GetDescription(description.Out());
    info->GetSource(source.Out());
    GUID guid = IID_IDispatch;
    info->GetGUID(&guid);
    EXPECT_EQ(description.Utf8(), "The object has not been prepared");
    EXPECT_EQ(source.Utf8(), "corvane.WMACapture.1");
    EXPECT_EQ(guid, GUID_NULL);

    Bstr empty;
    EXPECT_EQ(capture->put_SourceId(empty.Get()), E_INVALIDARG);
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    info->GetDescription(description.Out());
    EXPECT_EQ(description.Utf8(), "Invalid source filter name string");
}

TEST_F(EngineModuleTest, AModuleLoadedAgainAfterUnloadingBuildsItsGraphWindow)
{
    for (int round = 0; round < 2; ++round) {
        ComPtr<IWMACapture> capture;
        ASSERT_EQ(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&capture)),
                  S_OK);
        // Prepare creates the graph's window of the module's own class.
        EXPECT_EQ(capture->Prepare(), S_OK) << round;
        EXPECT_EQ(capture->Reset(), S_OK);
        capture.Reset();
        CoFreeUnusedLibraries();
        // The module is gone, and with it its window class: a class left behind would hand the
        // next load a window procedure in unmapped code.
        EXPECT_EQ(dlopen(QUILLET_ENGINE_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << round;
        EXPECT_FALSE(UnregisterClassA("DS_GRAPH_WINDOW", nullptr)) << round;
    }
}
