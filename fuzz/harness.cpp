#include "fuzz/harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qxnet/platform.h"
#include "qxnet/text.h"

extern "C" HRESULT DllRegisterServer();

namespace qxfuzz {

void Violated(const char* property, const std::string& detail) {
  std::fprintf(stderr, "fuzz property violated: %s\n%s\n", property, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& PrivateFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string* folder = new std::string([] {
    char pattern[] = "/tmp/qxfuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) Violated("mkdtemp", "cannot make a private folder");
    const std::string root = made;
    setenv("TMPDIR", (root + "/").c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    setenv("XDG_CACHE_HOME", root.c_str(), 1);
    setenv("QXNET_REGISTRY", (root + "/registry.db").c_str(), 1);
    setenv("QXNET_CACHE_DIR", (root + "/inetcache").c_str(), 1);
    // libFuzzer ends a timed run with exit(); a crash keeps the folder.
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(PrivateFolder(), ignored);
    });
    return root;
  }());
  return *folder;
}

void RegisterModuleOnce() {
  static const HRESULT registered = (PrivateFolder(), DllRegisterServer());
  if (FAILED(registered)) Violated("DllRegisterServer() succeeds", "cannot register the module");
}

std::string ScratchPath(const std::string& name) { return PrivateFolder() + "/" + name; }

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::u16string InputText(const uint8_t* data, size_t size) {
  return qx::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
}

void CheckSaveIsAFixedPoint(const uint8_t* data, size_t size, const std::string& name,
                            LoadAndSave loadAndSave) {
  const std::string input = ScratchPath(name + "-input.xml");
  const std::string first = ScratchPath(name + "-first.xml");
  const std::string second = ScratchPath(name + "-second.xml");
  WriteWholeFile(input, std::string_view(reinterpret_cast<const char*>(data), size));
  if (!loadAndSave(input, first)) return;
  FUZZ_REQUIRE(loadAndSave(first, second), "a saved " + name + " is read again");
  FUZZ_REQUIRE(ReadWholeFile(first) == ReadWholeFile(second), ReadWholeFile(first));
}

}  // namespace qxfuzz
