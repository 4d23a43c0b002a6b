// The generated files, each written from the resolved type library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/TypeLibModel.h"

namespace idlc {

// base.h: enumerations, interfaces with pure virtual methods in slot order, GUID constants.
std::string WriteHeader(const quillet::typelib::Library& library, const std::string& base);
// base_tlb.cpp: the serialised type library as a byte array.
std::string WriteTypeLibSource(const quillet::typelib::Library& library,
                               const std::vector<uint8_t>& bytes, const std::string& base);
// base_dispatch.h/.cpp: Invoke and name lookup per dual interface, firing helpers per event
// dispinterface.
std::string WriteDispatchHeader(const quillet::typelib::Library& library, const std::string& base);
std::string WriteDispatchSource(const quillet::typelib::Library& library, const std::string& base);
// base_client.h: throwing client wrappers and event argument unpacking for the window program.
std::string WriteClientHeader(const quillet::typelib::Library& library, const std::string& base);

} // namespace idlc
