// An exception for client code that prefers throwing: a failed HRESULT with the error
// information that the failing call left on the thread. Never thrown across an interface.
#pragma once

#include <stdexcept>
#include <string>

#include "com/Bstr.h"
#include "com/ComPtr.h"

class ComError : public std::runtime_error
{
public:
    // Takes the calling thread's current error information, if any.
    explicit ComError(HRESULT hr);
    ComError(HRESULT hr, ComPtr<IErrorInfo> info);

    HRESULT Result() const { return hr; }
    const ComPtr<IErrorInfo>& Info() const { return info; }
    // The error object's description, empty when there is none.
    const std::u16string& Description() const { return description; }
    std::u16string Source() const;

private:
    HRESULT hr;
    ComPtr<IErrorInfo> info;
    std::u16string description;
};

// Throws ComError when hr is a failure; returns hr otherwise (S_OK or S_FALSE).
inline HRESULT ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw ComError(hr);
    return hr;
}
