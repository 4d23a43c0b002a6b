#include "AutomationObject.h"

#include <cstdlib>

#include "CommandErrors.h"
#include "com/Bstr.h"
#include "com/ComApi.h"

namespace {

// The description in an EXCEPINFO that Invoke filled; frees its strings.
std::string ExceptionDescription(EXCEPINFO& exception)
{
    if (exception.pfnDeferredFillIn)
        exception.pfnDeferredFillIn(&exception);
    std::string text = Bstr::Adopt(exception.bstrDescription).Utf8();
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    return text;
}

// The description of the error information that a failed call left on this thread.
std::string ThreadErrorDescription()
{
    ComPtr<IErrorInfo> info;
    Bstr text;
    if (GetErrorInfo(0, &info) == S_OK && info)
        info->GetDescription(text.Out());
    return text.Utf8();
}

std::string RegistryFolder()
{
    const char* folder = std::getenv("QUILLET_REGISTRY_DIR");
    return folder && *folder ? folder : "~/.config/quillet";
}

Variant Converted(const VARIANT& value, VARTYPE type)
{
    Variant result;
    if (FAILED(VariantChangeType(&result, &value, 0, type)))
        throw CommandFailure("the engine answered a value of type " + std::to_string(value.vt) +
                             " where type " + std::to_string(type) + " was expected");
    return result;
}

} // namespace

AutomationObject::AutomationObject(ComPtr<IDispatch> object, std::string className,
                                   const CLSID& classId)
    : object(std::move(object)), className(std::move(className)), classId(classId)
{
}

AutomationObject AutomationObject::Create(const std::string& progId)
{
    std::u16string name = quillet::Utf8ToUtf16(progId);
    CLSID classId{};
    HRESULT hr = CLSIDFromProgID(name.c_str(), &classId);
    if (FAILED(hr))
        throw AutomationError("looking up " + progId + " in the registry at " + RegistryFolder() +
                                  " (is the engine registered there?)",
                              hr, {});
    ComPtr<IDispatch> object;
    hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (FAILED(hr))
        throw AutomationError("creating " + progId, hr, ThreadErrorDescription());
    size_t dot = progId.find('.');
    return AutomationObject(std::move(object),
                            dot == std::string::npos ? progId : progId.substr(dot + 1), classId);
}

Variant AutomationObject::Call(std::string_view member, std::vector<Variant> arguments)
{
    return Invoke(member, DISPATCH_METHOD, arguments);
}

Variant AutomationObject::Get(std::string_view member, std::vector<Variant> arguments)
{
    return Invoke(member, DISPATCH_PROPERTYGET, arguments);
}

void AutomationObject::Put(std::string_view member, Variant value)
{
    std::vector<Variant> arguments;
    arguments.push_back(std::move(value));
    Invoke(member, DISPATCH_PROPERTYPUT, arguments);
}

DISPID AutomationObject::IdOf(std::string_view member)
{
    if (auto known = ids.find(member); known != ids.end())
        return known->second;
    std::u16string name = quillet::Utf8ToUtf16(member);
    LPOLESTR names[1] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        throw AutomationError(className + " has no member " + std::string(member), hr, {});
    ids.emplace(std::string(member), id);
    return id;
}

Variant AutomationObject::Invoke(std::string_view member, WORD flags,
                                 std::vector<Variant>& arguments)
{
    DISPID id = IdOf(member);
    // Automation passes the last argument first.
    std::vector<VARIANTARG> reversed(arguments.rbegin(), arguments.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Out(),
                                &exception, &argumentError);
    if (SUCCEEDED(hr))
        return result;
    const bool filled = hr == DISP_E_EXCEPTION;
    if (filled)
        hr = exception.scode ? exception.scode : HRESULT(exception.wCode);
    std::string context = className + "." + std::string(member);
    if (!filled && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL))
        context += " (argument " + std::to_string(arguments.size() - argumentError) + ")";
    throw AutomationError(context, hr,
                          filled ? ExceptionDescription(exception) : ThreadErrorDescription());
}

std::string TextOf(const VARIANT& value)
{
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
        return {};
    Variant text = Converted(value, VT_BSTR);
    return Bstr(text.bstrVal).Utf8();
}

LONG LongOf(const VARIANT& value)
{
    return Converted(value, VT_I4).lVal;
}

double DoubleOf(const VARIANT& value)
{
    return Converted(value, VT_R8).dblVal;
}

std::vector<AutomationObject> ObjectsOf(const VARIANT& value, const std::string& className)
{
    std::vector<AutomationObject> objects;
    if (value.vt == VT_EMPTY)
        return objects;
    if (value.vt != (VT_ARRAY | VT_DISPATCH) || !value.parray)
        throw CommandFailure("the engine answered no list of " + className + " objects");
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        IDispatch* element = nullptr;
        if (FAILED(SafeArrayGetElement(value.parray, &i, &element)) || !element)
            throw CommandFailure("the engine's list of " + className + " objects has a gap");
        objects.emplace_back(ComPtr<IDispatch>::Adopt(element), className, CLSID_NULL);
    }
    return objects;
}

Variant NullText()
{
    Variant value;
    value.vt = VT_BSTR;
    value.bstrVal = nullptr;
    return value;
}
