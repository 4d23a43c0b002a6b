// The registrar: runs ATL-style registration scripts against the registry, to register a
// server's entries and to remove them again. Any thread may call.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Name Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Roots: HKCR / HKEY_CLASSES_ROOT and HKCU / HKEY_CURRENT_USER. A key is a bare word or a
// 'quoted' name ('' is a quote inside quotes; a name may hold backslashes to reach deeper);
// "= s 'text'" sets its default value as REG_SZ, "= d 'number'" as REG_DWORD (decimal or 0x
// hexadecimal); a body in braces follows. "val Name = s '...'" / "val Name = d '...'" are named
// values. "{" opens a body only as a word of its own, so a bare {GUID} is a key name. Keywords
// (NoRemove, ForceRemove, Delete, val, the roots and the type letters) are case-insensitive.
// %NAME% is replaced by the caller's replacement of that name (case-insensitive), taken
// literally even inside quotes; %% is one percent sign. A relative %MODULE% (the server's file)
// is written as its canonical full path, so that the entry serves clients in any folder.
//
// Registering creates every key and writes every value; ForceRemove first deletes the key with
// its subtree; Delete deletes the key with its subtree (and ignores its body). Registering
// twice leaves the same content. Unregistering deletes every key named with its subtree and
// every named value; a NoRemove key is kept (with its default value) while its body is
// processed, and so is a key that has a NoRemove key somewhere below it. Missing keys and values
// are no error when unregistering.
//
// The whole script is parsed before the registry is touched, so a malformed script changes
// nothing and answers REGISTRAR_E_SYNTAX (an unbalanced brace, a missing quote, an unknown
// root, a value type other than s or d, a bad number, an unknown %NAME%, a stray token); the
// debug channel "registry" says where. A registry failure stops the run and passes through as
// HRESULT_FROM_WIN32(code); steps already done stay done. A null script pointer: E_POINTER; a
// replacement without a name: E_INVALIDARG.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "com/Types.h"

// The code of a malformed registration script: HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
inline constexpr HRESULT REGISTRAR_E_SYNTAX = HRESULT_FROM_WIN32(13);

// One %name% of a script and its text.
struct RegistrarReplacement
{
    const char* name;
    std::string value;
};

// Runs a registration script: registerEntries true writes its entries, false removes them.
HRESULT RunRegistrationScript(std::string_view script,
                              const std::vector<RegistrarReplacement>& replacements,
                              bool registerEntries);
