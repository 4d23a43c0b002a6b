// The binary form of a type library, as modules embed it as their ("TYPELIB", 1) resource,
// and the ITypeLib over a model or over those bytes. Any thread may call; the ITypeLib is then
// used on the thread that made it.
//
// Layout, all integers little-endian, strings as a u32 byte count and UTF-8 without a NUL:
//   header   "QTLB", u16 format version, u16 header size (16), u32 payload size, u32 zero
//   library  guid, u16 major, u16 minor, u32 lcid, u16 flags, u32 help context, name,
//            help string, help file, u16 type count, the types
//   type     u8 kind, name, guid, help string, u32 help context, u16 flags, u16 major,
//            u16 minor, [alias: typedesc], implemented types, functions, variables,
//            u8 has dual twin, [u16 flags, implemented types, functions]
// Functions, variables, typedescs and constants are written field by field; see
// TypeLibSerializer.cpp, where every field is commented.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "com/TypeLibModel.h"

namespace quillet::typelib {

inline constexpr char FormatMagic[4] = {'Q', 'T', 'L', 'B'};
inline constexpr uint16_t FormatVersion = 1;
inline constexpr uint16_t FormatHeaderSize = 16;

// The bytes of a library. Throws std::bad_alloc.
std::vector<uint8_t> SerializeLibrary(const Library& library);

// Reads a library back: S_OK, TYPE_E_UNSUPFORMAT for a foreign magic or version,
// TYPE_E_INVDATAREAD for anything truncated, inconsistent or out of range, E_OUTOFMEMORY.
// `library` is only written on success.
HRESULT ParseLibrary(const void* data, size_t size, Library& library) noexcept;

// Checks what the parser cannot see field by field: references point at existing types,
// dual twins sit on dual dispatch types, type trees are well formed.
HRESULT ValidateLibrary(const Library& library) noexcept;

// An ITypeLib over a model (validated first: TYPE_E_INVDATAREAD when inconsistent).
HRESULT CreateTypeLibFromModel(std::shared_ptr<const Library> library, ITypeLib** pptlib);

// Parses the bytes and answers an ITypeLib over them.
HRESULT LoadTypeLibFromMemory(const void* data, size_t size, ITypeLib** pptlib);

} // namespace quillet::typelib
