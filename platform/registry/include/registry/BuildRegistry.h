// Where a program finds the engine. A program run from a build uses the registry that the build
// registers the engine into, beside the build's bin folder (build/<flavour>/registry). An
// installed program uses the user's own registry and registers the engine that was installed
// with it there on its first start, so that nobody has a set-up step and every user keeps a
// registration of their own. Not part of the Windows API.
#pragma once

#include "com/Types.h"

namespace quillet {

// Chooses this process's registry; call before anything reads the registry. With
// QUILLET_REGISTRY_DIR set, that registry is used as it is. Else a program in a build folder
// that has a registry points QUILLET_REGISTRY_DIR at it. Else the program is taken as
// installed: the engine beside the platform library (libcorvane.so) is registered into the
// user's registry unless that already holds this very engine's registration. Answers S_OK, or
// the failure of the registration (the program still starts, and class creation reports it).
HRESULT UseProgramRegistry();

} // namespace quillet
