// The engine module: its lock count, its file and its class table. Any thread.
#pragma once

#include <string>

#include "com/ComObject.h"

// One lock per live engine object and per IClassFactory::LockServer(TRUE).
ModuleLock& EngineModuleLock();

// The full path of the engine's own file, as registration writes it.
std::string EngineModulePath();

// The engine's AppID.
inline constexpr GUID APPID_corvane = MakeGuid("8A0FE328-FA36-4E8E-A400-4F94FBD76CFC");
