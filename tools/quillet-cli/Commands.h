// The commands of quillet-cli, one file each, and the engine classes they create by ProgID.
#pragma once

#include "CommandLine.h"

extern const CommandInfo SourcesCommand;
extern const CommandInfo ProfilesCommand;
extern const CommandInfo RecordCommand;
extern const CommandInfo PlayCommand;
extern const CommandInfo LengthCommand;
extern const CommandInfo AttrsCommand;

// The version-independent ProgIDs that the engine's registration writes; the program finds
// each class's CLSID through them.
inline constexpr const char* WMAHelperProgId = "corvane.WMAHelper";
inline constexpr const char* WMACaptureProgId = "corvane.WMACapture";
inline constexpr const char* SimplePlaybackProgId = "corvane.SimplePlayback";
inline constexpr const char* ClipAttributesEditorProgId = "corvane.ClipAttributesEditor";
