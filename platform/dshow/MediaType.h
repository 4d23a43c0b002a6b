// An owning AM_MEDIA_TYPE: the format block and pUnk are freed with it. Plain data; one thread
// at a time.
#pragma once

#include <utility>

#include "dshow/MediaTypes.h"

class MediaType
{
public:
    MediaType() = default;
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
    MediaType(MediaType&& other) noexcept : value(std::exchange(other.value, AM_MEDIA_TYPE{})) {}
    MediaType& operator=(MediaType&& other) noexcept
    {
        std::swap(value, other.value);
        return *this;
    }
    ~MediaType() { FreeMediaType(value); }

    // Replaces what is held by a deep copy of source.
    HRESULT Assign(const AM_MEDIA_TYPE& source)
    {
        AM_MEDIA_TYPE copy;
        HRESULT hr = CopyMediaType(&copy, &source);
        if (FAILED(hr))
            return hr;
        FreeMediaType(value);
        value = copy;
        return S_OK;
    }
    void Reset()
    {
        FreeMediaType(value);
        value = AM_MEDIA_TYPE{};
    }
    // A deep copy into an uninitialised record of the caller's.
    HRESULT CopyTo(AM_MEDIA_TYPE* target) const { return CopyMediaType(target, &value); }

    const AM_MEDIA_TYPE& Get() const { return value; }
    AM_MEDIA_TYPE* Out()
    {
        Reset();
        return &value;
    }

private:
    AM_MEDIA_TYPE value{};
};

// Whether `candidate` fits a partial type: GUID_NULL members of `partial` match anything.
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE* partial);
// Whether a type names all three of its major type, subtype and format type.
bool IsCompleteMediaType(const AM_MEDIA_TYPE& mediaType);
