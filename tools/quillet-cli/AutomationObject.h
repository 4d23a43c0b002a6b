// A late-bound handle to one automation object. Members are found by name with
// IDispatch::GetIDsOfNames and called through IDispatch::Invoke with VARIANT arguments, the way
// a scripting language drives an object: nothing here knows the engine's interfaces. Every
// failed call throws AutomationError with the object's own description of the failure.
// Used on the thread that created the object.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "com/ComPtr.h"
#include "com/Variant.h"

class AutomationObject
{
public:
    AutomationObject() = default;
    // Wraps an object; className names it in error messages.
    AutomationObject(ComPtr<IDispatch> object, std::string className, const CLSID& classId);
    // Creates an in-process object from its ProgID, such as "corvane.WMAHelper".
    static AutomationObject Create(const std::string& progId);

    // Calls a method with its arguments in declaration order; answers its result, VT_EMPTY
    // when it has none.
    Variant Call(std::string_view member, std::vector<Variant> arguments = {});
    // Reads a property, with index arguments where the property takes them.
    Variant Get(std::string_view member, std::vector<Variant> arguments = {});
    // Writes a property.
    void Put(std::string_view member, Variant value);

    IDispatch* Dispatch() const { return object.Get(); }
    const CLSID& ClassId() const { return classId; }
    const std::string& ClassName() const { return className; }

private:
    DISPID IdOf(std::string_view member);
    Variant Invoke(std::string_view member, WORD flags, std::vector<Variant>& arguments);

    ComPtr<IDispatch> object;
    std::string className;
    CLSID classId = CLSID_NULL;
    std::map<std::string, DISPID, std::less<>> ids;
};

// Conversions of results, by VariantChangeType; a value that does not convert throws
// CommandFailure. A null or empty variant reads as the empty text.
std::string TextOf(const VARIANT& value);
LONG LongOf(const VARIANT& value);
double DoubleOf(const VARIANT& value);

// The elements of a VT_ARRAY | VT_DISPATCH result; an empty variant holds none.
std::vector<AutomationObject> ObjectsOf(const VARIANT& value, const std::string& className);

// A BSTR argument that is null rather than empty, which tells a property to remove its value.
Variant NullText();
