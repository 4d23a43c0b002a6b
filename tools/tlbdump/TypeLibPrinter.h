// Renders a type library as text, the form tlbdump prints and the contract tests compare.
//
//   library corvaneLib {E7D06129-...} 1.0 "corvane 1.0 Type Library"
//   dispatch IWMACapture {...} flags=0x10c0 "IWMACapture Interface"
//   interface IWMACapture slot=7 dispid=1 propget RecordLevel([out,retval] long* pVal)
//   coclass WMACapture {...} flags=0x2 impl=IWMACapture[default]
//   impl=_IWMACaptureEvents[default,source]
#pragma once

#include <string>

#include "com/TypeInfo.h"

// Appends the text to *out; on a failing call the text so far and that HRESULT.
HRESULT PrintTypeLib(ITypeLib* library, std::string* out);
// The IDL spelling of a type ("long", "BSTR*", "DSGraphStates*").
std::string TypeText(ITypeInfo* owner, const TYPEDESC& type);
