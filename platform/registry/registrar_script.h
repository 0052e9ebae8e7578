// Registration scripts: the text form that names the keys and values a
// component writes into the registry when it is registered and removes when
// it is unregistered.
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {GUID} = s 'Description'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// Roots: HKCR, HKCU, HKLM or their long names. A key is a bare or quoted
// name ('' inside quotes is a quote), optionally preceded by NoRemove,
// ForceRemove or Delete, optionally followed by "= <value>" (its default
// value) and a braced block of subkeys and "val Name = <value>" entries.
// The markers and "val" are keywords only when unquoted: 'Delete' is a key.
// Values: s 'text' (REG_SZ), d 'number' (REG_DWORD, decimal or 0x hex),
// b 'hex bytes' (REG_BINARY). %NAME% is replaced from the caller's table
// (%% is a literal %) inside names and values, after quoting is resolved, so
// a replacement text never changes the script's structure.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qxnet/platform.h"

namespace qx::registry {

using ScriptReplacements = std::vector<std::pair<std::u16string, std::u16string>>;

struct ScriptValue {
  DWORD type = REG_SZ;
  std::vector<BYTE> data;
};

struct ScriptKey {
  enum class Mode { Normal, NoRemove, ForceRemove, Delete };
  Mode mode = Mode::Normal;
  std::u16string name;
  bool hasDefault = false;
  ScriptValue defaultValue;
  std::vector<std::pair<std::u16string, ScriptValue>> values;
  std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
  HKEY root = nullptr;
  std::vector<ScriptKey> keys;
};

// Parses a whole script. On a syntax error, an unknown replacement name or an
// invalid value, answers false with a short description in `error`.
bool ParseRegistrationScript(std::u16string_view script, const ScriptReplacements& replacements,
                             std::vector<ScriptRoot>& roots, std::string& error);

}  // namespace qx::registry
