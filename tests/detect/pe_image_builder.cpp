#include "tests/detect/pe_image_builder.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "qxnet/text.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace detecttest {

void Put16(Bytes& out, size_t at, uint16_t v) {
  if (out.size() < at + 2) out.resize(at + 2);
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& out, size_t at, uint32_t v) {
  Put16(out, at, static_cast<uint16_t>(v));
  Put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

namespace {

void Align4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One node of the version tree.
struct Node {
  std::u16string key;
  uint16_t type = 0;  // 1: text value
  Bytes value;
  uint16_t valueLength = 0;
  std::vector<Node> children;
};

void Serialize(const Node& node, Bytes& out) {
  Align4(out);
  const size_t start = out.size();
  out.resize(start + 6);
  for (char16_t c : node.key) Put16(out, out.size(), c);
  Put16(out, out.size(), 0);
  Align4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) Serialize(child, out);
  Put16(out, start, static_cast<uint16_t>(out.size() - start));
  Put16(out, start + 2, node.valueLength);
  Put16(out, start + 4, node.type);
}

Node TextNode(const std::u16string& key, const std::u16string& text) {
  Node node{key, 1, {}, static_cast<uint16_t>(text.size() + 1), {}};
  for (char16_t c : text) Put16(node.value, node.value.size(), c);
  Put16(node.value, node.value.size(), 0);
  return node;
}

// The resource section: a root directory with one entry per type, each
// leading through a name and a language directory to one data entry.
Bytes BuildResourceSection(const std::vector<std::pair<uint32_t, Bytes>>& types) {
  Bytes out;
  const size_t rootSize = 16 + 8 * types.size();
  Put16(out, 14, static_cast<uint16_t>(types.size()));
  out.resize(rootSize);
  // Laid out last type first, so that the last type's tables directly
  // follow the root (the layout PeLayout describes).
  for (size_t n = types.size(); n-- > 0;) {
    Align4(out);
    const size_t names = out.size();
    const size_t languages = names + 24;
    const size_t dataEntry = languages + 24;
    const size_t data = dataEntry + 16;
    Put32(out, 16 + 8 * n, types[n].first);
    Put32(out, 16 + 8 * n + 4, 0x80000000u | static_cast<uint32_t>(names));
    Put16(out, names + 14, 1);
    Put32(out, names + 16, 1);
    Put32(out, names + 20, 0x80000000u | static_cast<uint32_t>(languages));
    Put16(out, languages + 14, 1);
    Put32(out, languages + 16, 0x409);
    Put32(out, languages + 20, static_cast<uint32_t>(dataEntry));
    Put32(out, dataEntry, PeLayout::kResourceRva + static_cast<uint32_t>(data));
    Put32(out, dataEntry + 4, static_cast<uint32_t>(types[n].second.size()));
    out.resize(data);
    out.insert(out.end(), types[n].second.begin(), types[n].second.end());
  }
  return out;
}

}  // namespace

Bytes BuildVersionResource(const VersionResourceSpec& spec) {
  Node root{u"VS_VERSION_INFO", 0, Bytes(52, 0), 52, {}};
  Put32(root.value, 0, 0xFEEF04BDu);
  Put32(root.value, 4, 0x00010000u);
  if (!spec.tables.empty()) {
    Node stringInfo{u"StringFileInfo", 1, {}, 0, {}};
    for (const StringTable& table : spec.tables) {
      Node tableNode{table.key, 1, {}, 0, {}};
      for (const auto& [name, text] : table.strings) {
        tableNode.children.push_back(TextNode(name, text));
      }
      stringInfo.children.push_back(std::move(tableNode));
    }
    root.children.push_back(std::move(stringInfo));
  }
  if (!spec.translations.empty()) {
    Node var{u"Translation", 0, {}, 0, {}};
    for (const auto& t : spec.translations) {
      Put16(var.value, var.value.size(), t.language);
      Put16(var.value, var.value.size(), t.codePage);
    }
    var.valueLength = static_cast<uint16_t>(var.value.size());
    root.children.push_back(Node{u"VarFileInfo", 1, {}, 0, {std::move(var)}});
  }
  Bytes out;
  Serialize(root, out);
  return out;
}

Bytes BuildPeImage(const std::optional<Bytes>& versionResource, bool pe32Plus) {
  std::vector<std::pair<uint32_t, Bytes>> types{{3, Bytes{1, 2, 3, 4}}};
  if (versionResource) types.emplace_back(16, *versionResource);
  const Bytes resources = BuildResourceSection(types);

  Bytes image(PeLayout::kResourceSectionOffset, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, PeLayout::kPeHeaderOffset);
  const size_t pe = PeLayout::kPeHeaderOffset;
  std::memcpy(&image[pe], "PE\0\0", 4);
  Put16(image, pe + 4, pe32Plus ? 0x8664 : 0x14C);
  Put16(image, pe + 6, 1);
  const uint16_t optionalSize = pe32Plus ? 240 : 224;
  Put16(image, pe + 20, optionalSize);
  Put16(image, pe + 22, 0x2022);
  const size_t optional = pe + 24;
  Put16(image, optional, pe32Plus ? 0x20B : 0x10B);
  const size_t directories = optional + (pe32Plus ? 112 : 96);
  Put32(image, directories - 4, 16);
  Put32(image, directories + 2 * 8, PeLayout::kResourceRva);
  Put32(image, directories + 2 * 8 + 4, static_cast<uint32_t>(resources.size()));
  const size_t section = optional + optionalSize;
  std::memcpy(&image[section], ".rsrc\0\0\0", 8);
  Put32(image, section + 8, static_cast<uint32_t>(resources.size()));
  Put32(image, section + 12, PeLayout::kResourceRva);
  Put32(image, section + 16, static_cast<uint32_t>(resources.size()));
  Put32(image, section + 20, PeLayout::kResourceSectionOffset);
  Put32(image, section + 36, 0x40000040u);
  image.insert(image.end(), resources.begin(), resources.end());
  return image;
}

Bytes PeWithFileVersion(const std::u16string& fileVersion) {
  VersionResourceSpec spec;
  spec.translations = {{0x0409, 0x04B0}};
  spec.tables = {{u"040904B0", {{u"CompanyName", u"Test"}, {u"FileVersion", fileVersion}}}};
  return BuildPeImage(BuildVersionResource(spec));
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  qxtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string TestFolder(const std::string& name) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder =
      qxtest::TestRoot() + "/" + test->test_suite_name() + "." + test->name() + "/" + name;
  std::filesystem::create_directories(folder);
  return folder;
}

void ClearInstallRootKey() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\.NETFramework");
}

FakeDotNet::FakeDotNet(std::string root) : root_(std::move(root)) {
  std::filesystem::create_directories(SharedFolder());
  WriteFile(root_ + "/dotnet", Bytes{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'});
  chmod((root_ + "/dotnet").c_str(), 0755);
}

std::string FakeDotNet::SharedFolder() const { return root_ + "/shared/Microsoft.NETCore.App/"; }

void FakeDotNet::AddRuntime(const std::string& name,
                            const std::optional<std::u16string>& fileVersion) {
  const std::string folder = SharedFolder() + name;
  std::filesystem::create_directories(folder);
  WriteFile(folder + "/System.Private.CoreLib.dll", BuildPeImage(std::nullopt));
  WriteFile(folder + "/mscorlib.dll",
            fileVersion ? PeWithFileVersion(*fileVersion) : BuildPeImage(std::nullopt));
}

void FakeDotNet::AddOtherFolder(const std::string& name) {
  const std::string folder = SharedFolder() + name;
  std::filesystem::create_directories(folder);
  WriteFile(folder + "/readme.txt", Bytes{'t', 'o', 'o', 'l', 's'});
}

}  // namespace detecttest
