// Collects the pins of a filter that a test accepts, inputs and outputs apart, in the filter's
// pin order. Used on the engine object's thread.
#pragma once

#include <vector>

#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class PinCollector
{
public:
    virtual ~PinCollector() = default;

    // Clears both lists and collects the filter's accepted pins: S_OK, S_FALSE when a pin's
    // direction could not be read (that pin is skipped), E_POINTER for a null filter, or the
    // failure of EnumPins.
    HRESULT Fill(IBaseFilter* filter);
    void Clear();

    std::vector<ComPtr<IPin>> inputs;
    std::vector<ComPtr<IPin>> outputs;

protected:
    // Decides whether a pin is collected; clearing *keepGoing ends the enumeration.
    virtual bool AcceptPin(IPin* pin, PIN_DIRECTION direction, bool* keepGoing) = 0;
};

// Every pin: the sample grabber's.
class AcceptAnyPin final : public PinCollector
{
protected:
    bool AcceptPin(IPin* pin, PIN_DIRECTION direction, bool* keepGoing) override;
};

// Every input pin, and output pins of the capture category that offer audio: a capture source.
class AcceptCaptureSourcePin final : public PinCollector
{
protected:
    bool AcceptPin(IPin* pin, PIN_DIRECTION direction, bool* keepGoing) override;
};

// Input pins that take audio: the writer's.
class AcceptAudioInputPin final : public PinCollector
{
protected:
    bool AcceptPin(IPin* pin, PIN_DIRECTION direction, bool* keepGoing) override;
};

// True when one of the pin's media types is audio; every enumerated type is freed.
bool HasAudioMediaType(IPin* pin);

// The index of the first pin whose id equals id (A-Z folded), or -1; -1 for a null id.
int FindPinById(const std::vector<ComPtr<IPin>>& pins, const OLECHAR* id);

// Compares two texts folding only the letters A-Z, as device and pin names are compared.
bool EqualFoldingAsciiCase(const OLECHAR* a, const OLECHAR* b);
