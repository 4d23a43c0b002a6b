// Where a program run from a build finds the engine: the registry that the build registers it
// into, beside the build's bin folder (build/<flavour>/registry). Not part of the Windows API.
#pragma once

namespace quillet {

// Without QUILLET_REGISTRY_DIR, points it at the build's registry when the program runs from a
// build folder that has one, so a fresh build runs without any set-up. Call before anything
// reads the registry.
void UseBuildRegistryWhenUnset();

} // namespace quillet
