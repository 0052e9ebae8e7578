// Registration scripts: the replacement texts never change a script's
// structure, so a script parses to the same tree of keys and values whatever
// the module path is, and the replacement text appears only where %MODULE%
// stood.
#include <string_view>

#include "fuzz/harness.h"
#include "platform/registry/registrar_script.h"
#include "qxnet/text.h"

namespace {

using qx::registry::ScriptKey;
using qx::registry::ScriptRoot;

// The tree's shape: roots, key modes, value counts and types, nesting.
std::string Shape(const ScriptKey& key) {
  std::string shape = "k" + std::to_string(static_cast<int>(key.mode)) +
                      (key.hasDefault ? "d" : "-") + std::to_string(key.defaultValue.type) + "v";
  for (const auto& [name, value] : key.values) shape += std::to_string(value.type) + ",";
  shape += "{";
  for (const ScriptKey& sub : key.subkeys) shape += Shape(sub);
  return shape + "}";
}

std::string Shape(const std::vector<ScriptRoot>& roots) {
  std::string shape;
  for (const ScriptRoot& root : roots) {
    shape += std::to_string(reinterpret_cast<uintptr_t>(root.root)) + "[";
    for (const ScriptKey& key : root.keys) shape += Shape(key);
    shape += "]";
  }
  return shape;
}

bool Parse(const std::u16string& script, const std::u16string& module, std::string& shape) {
  std::vector<ScriptRoot> roots;
  std::string error;
  const bool parsed =
      qx::registry::ParseRegistrationScript(script, {{u"MODULE", module}}, roots, error);
  FUZZ_REQUIRE(parsed || !error.empty(), "a refused script says why");
  if (parsed) shape = Shape(roots);
  return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string script = qxfuzz::InputText(data, size);
  // Both replacements have the same length, so that the limits on key and
  // value name lengths treat them alike: only their characters differ.
  constexpr std::u16string_view kPlainModule = u"/opt/qxnet/lib/x86_64/libqxnet.so";
  constexpr std::u16string_view kHostileModule = u"x' }\n{ val a = s '%%' ForceRemove";
  static_assert(kPlainModule.size() == kHostileModule.size());
  std::string plain, hostile;
  const bool plainParsed = Parse(script, std::u16string(kPlainModule), plain);
  const bool hostileParsed = Parse(script, std::u16string(kHostileModule), hostile);
  FUZZ_REQUIRE(plainParsed == hostileParsed, qx::Utf16ToUtf8(script));
  FUZZ_REQUIRE(plain == hostile, qx::Utf16ToUtf8(script) + "\n" + plain + "\n" + hostile);
  return 0;
}
