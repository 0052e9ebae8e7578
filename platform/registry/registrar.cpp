#include "platform/registry/registrar.h"

#include <new>

#include "platform/registry/key_handles.h"
#include "platform/registry/key_path.h"
#include "platform/registry/registrar_script.h"
#include "platform/registry/registry_database.h"
#include "qxnet/text.h"

namespace qx::registry {

namespace {

class ScriptRunner {
 public:
  ScriptRunner(Transaction& tx, bool doRegister) : tx_(tx), register_(doRegister) {}

  LSTATUS Run(const std::vector<ScriptRoot>& roots) {
    for (const ScriptRoot& root : roots) {
      // A root may be overridden (HKCR by the machine's classes, to
      // register for every user).
      KeyLocation location;
      const LSTATUS resolved = ResolveKey(root.root, location);
      if (resolved != ERROR_SUCCESS) return resolved;
      for (const ScriptKey& key : root.keys) {
        const LSTATUS status = Apply(location, key);
        if (status != ERROR_SUCCESS) return status;
      }
    }
    return ERROR_SUCCESS;
  }

 private:
  LSTATUS Apply(const KeyLocation& parent, const ScriptKey& key) {
    KeyLocation location;
    const LSTATUS status = AppendSubkeyPath(parent, key.name, location);
    if (status != ERROR_SUCCESS) return status;
    return register_ ? Register(location, key) : Unregister(location, key);
  }

  LSTATUS Register(const KeyLocation& location, const ScriptKey& key) {
    if (key.mode == ScriptKey::Mode::Delete) {
      tx_.DeleteTree(location, false);
      return ERROR_SUCCESS;
    }
    if (key.mode == ScriptKey::Mode::ForceRemove) tx_.DeleteTree(location, false);
    tx_.CreateKey(location);
    if (key.hasDefault) Set(location, u"", key.defaultValue);
    for (const auto& [name, value] : key.values) Set(location, name, value);
    for (const ScriptKey& subkey : key.subkeys) {
      const LSTATUS status = Apply(location, subkey);
      if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
  }

  LSTATUS Unregister(const KeyLocation& location, const ScriptKey& key) {
    switch (key.mode) {
      case ScriptKey::Mode::Delete:
        return ERROR_SUCCESS;
      case ScriptKey::Mode::NoRemove:
        for (const auto& entry : key.values)
          tx_.DeleteValue(location, FoldedValueName(entry.first));
        for (const ScriptKey& subkey : key.subkeys) {
          const LSTATUS status = Apply(location, subkey);
          if (status != ERROR_SUCCESS) return status;
        }
        return ERROR_SUCCESS;
      case ScriptKey::Mode::Normal:
      case ScriptKey::Mode::ForceRemove:
        tx_.DeleteTree(location, false);
        return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
  }

  void Set(const KeyLocation& location, std::u16string_view name, const ScriptValue& value) {
    tx_.SetValue(location, Utf16ToUtf8(name), FoldedValueName(name), value.type, value.data.data(),
                 value.data.size());
  }

  Transaction& tx_;
  bool register_;
};

}  // namespace

HRESULT UpdateRegistryFromScript(
    std::u16string_view script, bool doRegister,
    const std::vector<std::pair<std::u16string, std::u16string>>& replacements) {
  try {
    std::vector<ScriptRoot> roots;
    std::string error;
    if (!ParseRegistrationScript(script, replacements, roots, error)) return DISP_E_EXCEPTION;
    const LSTATUS status = RunWrite(
        [&](Transaction& tx) -> LSTATUS { return ScriptRunner(tx, doRegister).Run(roots); });
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qx::registry
