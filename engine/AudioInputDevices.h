// The system's audio capture devices as both the catalogue and the capture engine walk them:
// the audio input device category of the system device enumerator, named devices only.
// On the caller's thread.
#pragma once

#include "com/ComPtr.h"
#include "com/Variant.h"
#include "dshow/Strmif.h"

// Opens the category. On failure *failure holds the text that the engine reports for it.
HRESULT OpenAudioInputDevices(IEnumMoniker** monikers, const char** failure);

// The next device that has a friendly name, with that name (VT_BSTR); false after the last.
// Devices whose properties cannot be read or that have no name are passed over.
bool NextNamedDevice(IEnumMoniker* monikers, ComPtr<IMoniker>& moniker, Variant& name);
