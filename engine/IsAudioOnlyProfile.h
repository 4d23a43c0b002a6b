// The test that both the capture engine and the profile catalogue apply to a profile: exactly
// one stream, and that stream audio. Any failing call makes the answer false. Any thread.
#pragma once

#include "wmf/Wmf.h"

bool IsAudioOnlyProfile(IWMProfile* profile);
