// qxnet reg query | add | delete: the registry store with typed values.
#include <cstdio>
#include <memory>

#include "qxnet/registry_key.h"
#include "qxnet/text.h"
#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/module_location.h"
#include "tools/qxnet/registry_values.h"

namespace qxcli {

namespace {

void CheckStatus(LSTATUS status, const std::string& what) {
  if (status != ERROR_SUCCESS)
    throw CallFailed(HRESULT_FROM_WIN32(status), what + ": " + RegistryStatusText(status));
}

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

std::vector<Value> ListValues(HKEY key, const std::string& key_text) {
  std::vector<Value> values;
  std::u16string name(256, u'\0');
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;;) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type,
                                         data.data(), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {
      name.resize(std::max<size_t>(name.size() * 2, name_length + 1));
      data.resize(std::max<size_t>(data.size() * 2, data_size));
      continue;
    }
    CheckStatus(status, "Unable to list the values of " + key_text);
    values.push_back({qx::Utf16ToUtf8(std::u16string_view(name.data(), name_length)), type,
                      std::vector<BYTE>(data.begin(), data.begin() + data_size)});
    ++index;
  }
  return values;
}

std::vector<std::string> ListSubkeys(HKEY key, const std::string& key_text) {
  std::vector<std::string> names;
  std::u16string name(256, u'\0');
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status =
        RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      continue;
    }
    CheckStatus(status, "Unable to list the subkeys of " + key_text);
    names.push_back(qx::Utf16ToUtf8(std::u16string_view(name.data(), length)));
    ++index;
  }
  return names;
}

Value QueryValue(HKEY key, const std::string& name, const std::string& key_text) {
  const std::u16string wide = qx::Utf8ToUtf16(name);
  Value value{name, REG_NONE, {}};
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, wide.c_str(), nullptr, &value.type, nullptr, &size);
  const std::string what = "Unable to read value '" + name + "' of " + key_text;
  CheckStatus(status, what);
  value.data.resize(size);
  status = RegQueryValueExW(key, wide.c_str(), nullptr, &value.type, value.data.data(), &size);
  CheckStatus(status, what);
  value.data.resize(size);
  return value;
}

nlohmann::json ValueDocument(const Value& value) {
  return {{"name", value.name},
          {"type", ValueTypeName(value.type)},
          {"data", ValueJson(value.type, value.data)}};
}

void PrintValueLine(const Value& value) {
  std::printf("    %-24s %-14s %s\n", value.name.empty() ? "(default)" : value.name.c_str(),
              ValueTypeName(value.type).c_str(), ValueText(value.type, value.data).c_str());
}

struct RegArgs {
  std::string key;
  std::string value;
  std::string type = "REG_SZ";
  std::vector<std::string> data;
};

void Query(const GlobalOptions& options, const RegArgs& args, bool one_value) {
  const KeyPath path = ParseKeyPath(args.key);
  qx::RegistryKey key;
  CheckStatus(
      RegOpenKeyExW(path.root, qx::Utf8ToUtf16(path.subkey).c_str(), 0, KEY_READ, key.Put()),
      "Unable to open " + path.Text());
  if (one_value) {
    const Value value = QueryValue(key.Get(), args.value, path.Text());
    if (options.json) {
      nlohmann::json document = ValueDocument(value);
      document["key"] = path.Text();
      PrintJson(document);
    } else {
      std::printf("%s\n", path.Text().c_str());
      PrintValueLine(value);
    }
    return;
  }
  const std::vector<Value> values = ListValues(key.Get(), path.Text());
  const std::vector<std::string> subkeys = ListSubkeys(key.Get(), path.Text());
  if (options.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const Value& value : values) list.push_back(ValueDocument(value));
    PrintJson({{"key", path.Text()}, {"values", list}, {"subkeys", subkeys}});
    return;
  }
  std::printf("%s\n", path.Text().c_str());
  for (const Value& value : values) PrintValueLine(value);
  for (const std::string& subkey : subkeys) std::printf("    %s\\\n", subkey.c_str());
}

void Add(const GlobalOptions& options, const RegArgs& args, bool set_value) {
  const KeyPath path = ParseKeyPath(args.key);
  if (path.subkey.empty() && !set_value) throw UsageError("Give a key below the root to create");
  const DWORD type = ValueTypeFromName(args.type);
  const std::vector<BYTE> bytes = EncodeValue(type, args.data);
  qx::RegistryKey key;
  DWORD disposition = 0;
  CheckStatus(
      RegCreateKeyExW(path.root, qx::Utf8ToUtf16(path.subkey).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Put(), &disposition),
      "Unable to create " + path.Text());
  if (set_value) {
    CheckStatus(RegSetValueExW(key.Get(), qx::Utf8ToUtf16(args.value).c_str(), 0, type,
                               bytes.data(), static_cast<DWORD>(bytes.size())),
                "Unable to write value '" + args.value + "' of " + path.Text());
  }
  if (options.json) {
    nlohmann::json document = {{"key", path.Text()},
                               {"created", disposition == REG_CREATED_NEW_KEY}};
    if (set_value) document["value"] = ValueDocument({args.value, type, bytes});
    PrintJson(document);
  } else {
    std::printf("%s %s\n", disposition == REG_CREATED_NEW_KEY ? "Created" : "Opened",
                path.Text().c_str());
    if (set_value) PrintValueLine({args.value, type, bytes});
  }
}

void Delete(const GlobalOptions& options, const RegArgs& args, bool one_value) {
  const KeyPath path = ParseKeyPath(args.key);
  if (one_value) {
    qx::RegistryKey key;
    CheckStatus(RegOpenKeyExW(path.root, qx::Utf8ToUtf16(path.subkey).c_str(), 0, KEY_ALL_ACCESS,
                              key.Put()),
                "Unable to open " + path.Text());
    CheckStatus(RegDeleteValueW(key.Get(), qx::Utf8ToUtf16(args.value).c_str()),
                "Unable to delete value '" + args.value + "' of " + path.Text());
  } else {
    if (path.subkey.empty()) throw UsageError("Refusing to delete a whole registry root");
    CheckStatus(RegDeleteTreeW(path.root, qx::Utf8ToUtf16(path.subkey).c_str()),
                "Unable to delete " + path.Text());
  }
  if (options.json) {
    nlohmann::json document = {{"key", path.Text()}, {"deleted", true}};
    if (one_value) document["value"] = args.value;
    PrintJson(document);
  } else if (one_value) {
    std::printf("Deleted value '%s' of %s\n", args.value.c_str(), path.Text().c_str());
  } else {
    std::printf("Deleted %s and everything below it\n", path.Text().c_str());
  }
}

}  // namespace

void AddRegistryCommand(CLI::App& app, const GlobalOptions& options) {
  auto* reg = app.add_subcommand("reg", "Read and change the registry store (" +
                                            std::string("keys like HKCU\\Software\\X") + ")");
  reg->require_subcommand(1);
  reg->footer(
      "HKCU: $QXNET_REGISTRY, else $XDG_CONFIG_HOME/corvane/registry.db\n"
      "HKLM: $QXNET_SYSTEM_REGISTRY, else /var/lib/qxnet/registry.db\n"
      "HKCR: the user's HKCU\\Software\\Classes over HKLM\\Software\\Classes; "
      "changes go to the user's");

  auto query_args = std::make_shared<RegArgs>();
  auto* query = reg->add_subcommand("query", "List a key's values and subkeys, or show one value");
  query->add_option("KEY", query_args->key, "Key, e.g. HKCU\\Software\\Corvane")->required();
  auto* query_value = query->add_option("-v,--value", query_args->value,
                                        "Show only this value (\"\" for the default value)");
  query->callback([&options, query_args, query_value] {
    Query(options, *query_args, query_value->count() > 0);
  });

  auto add_args = std::make_shared<RegArgs>();
  auto* add = reg->add_subcommand("add", "Create a key, and set a value in it");
  add->add_option("KEY", add_args->key, "Key to create or open")->required();
  auto* add_value = add->add_option("-v,--value", add_args->value,
                                    "Name of the value to set (\"\" for the default value)");
  add->add_option("-t,--type", add_args->type,
                  "REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE")
      ->capture_default_str();
  auto* add_data = add->add_option("-d,--data", add_args->data,
                                   "The data (repeat for each REG_MULTI_SZ string; numbers in "
                                   "decimal or 0x-hex; binary as hex digits)");
  add->callback([&options, add_args, add_value, add_data] {
    Add(options, *add_args, add_value->count() > 0 || add_data->count() > 0);
  });

  auto delete_args = std::make_shared<RegArgs>();
  auto* remove = reg->add_subcommand("delete", "Delete a value, or a key with everything below it");
  remove->add_option("KEY", delete_args->key, "Key")->required();
  auto* delete_value = remove->add_option("-v,--value", delete_args->value,
                                          "Delete only this value (\"\" for the default value)");
  remove->callback([&options, delete_args, delete_value] {
    Delete(options, *delete_args, delete_value->count() > 0);
  });
}

}  // namespace qxcli
