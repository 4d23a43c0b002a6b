#include "PinCollector.h"

#include <cstring>

HRESULT PinCollector::Fill(IBaseFilter* filter)
{
    Clear();
    if (!filter)
        return E_POINTER;
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter->EnumPins(&pins);
    if (FAILED(hr))
        return hr;
    if (!pins)
        return E_POINTER;
    HRESULT result = S_OK;
    bool keepGoing = true;
    while (keepGoing) {
        ComPtr<IPin> pin;
        if (pins->Next(1, &pin, nullptr) != S_OK || !pin)
            break;
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&direction)) ||
            (direction != PINDIR_INPUT && direction != PINDIR_OUTPUT)) {
            result = S_FALSE;
            continue;
        }
        if (!AcceptPin(pin.Get(), direction, &keepGoing))
            continue;
        (direction == PINDIR_INPUT ? inputs : outputs).push_back(std::move(pin));
    }
    return result;
}

void PinCollector::Clear()
{
    inputs.clear();
    outputs.clear();
}

bool AcceptAnyPin::AcceptPin(IPin*, PIN_DIRECTION, bool*)
{
    return true;
}

bool AcceptCaptureSourcePin::AcceptPin(IPin* pin, PIN_DIRECTION direction, bool*)
{
    if (direction == PINDIR_INPUT)
        return true;
    // An output pin without a property set cannot say that it captures.
    ComPtr<IKsPropertySet> properties;
    if (FAILED(pin->QueryInterface(IID_PPV_ARGS(&properties))) || !properties)
        return false;
    GUID category{};
    DWORD returned = 0;
    if (FAILED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                               sizeof category, &returned)))
        return false;
    return category == PIN_CATEGORY_CAPTURE && HasAudioMediaType(pin);
}

bool AcceptAudioInputPin::AcceptPin(IPin* pin, PIN_DIRECTION direction, bool*)
{
    return direction == PINDIR_INPUT && HasAudioMediaType(pin);
}

bool HasAudioMediaType(IPin* pin)
{
    ComPtr<IEnumMediaTypes> types;
    if (!pin || FAILED(pin->EnumMediaTypes(&types)) || !types)
        return false;
    while (true) {
        AM_MEDIA_TYPE* type = nullptr;
        if (types->Next(1, &type, nullptr) != S_OK || !type)
            return false;
        bool audio = type->majortype == MEDIATYPE_Audio;
        DeleteMediaType(type);
        if (audio)
            return true;
    }
}

bool EqualFoldingAsciiCase(const OLECHAR* a, const OLECHAR* b)
{
    if (!a || !b)
        return a == b;
    auto fold = [](OLECHAR c) { return c >= u'A' && c <= u'Z' ? OLECHAR(c + 32) : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b))
            return false;
    return *a == *b;
}

int FindPinById(const std::vector<ComPtr<IPin>>& pins, const OLECHAR* id)
{
    if (!id)
        return -1;
    for (size_t i = 0; i < pins.size(); ++i) {
        LPWSTR pinId = nullptr;
        if (FAILED(pins[i]->QueryId(&pinId)))
            continue;
        bool same = EqualFoldingAsciiCase(pinId, id);
        CoTaskMemFree(pinId);
        if (same)
            return int(i);
    }
    return -1;
}
