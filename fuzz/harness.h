// Shared pieces of the fuzz targets: a property check that stops the run
// with the input saved, a private environment with the module registered,
// and conversions of the raw input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qxfuzz {

// Stops the run (libFuzzer saves the input) when a property does not hold.
[[noreturn]] void Violated(const char* property, const std::string& detail);
#define FUZZ_REQUIRE(condition, detail)                         \
  do {                                                          \
    if (!(condition)) ::qxfuzz::Violated(#condition, (detail)); \
  } while (0)

// Gives the process its own registry, cache and temporary folder, and
// registers the module there (once). Answers the private folder.
const std::string& PrivateFolder();
void RegisterModuleOnce();

// A path in the private folder.
std::string ScratchPath(const std::string& name);
void WriteWholeFile(const std::string& path, std::string_view bytes);
std::string ReadWholeFile(const std::string& path);

// The input as text: UTF-8 decoded to UTF-16 (invalid bytes replaced).
std::u16string InputText(const uint8_t* data, size_t size);

// Reads a file into a new object and saves that object to another file;
// false when the object refused the file.
using LoadAndSave = bool (*)(const std::string& from, const std::string& to);

// For readers of files that also write them: whatever the input file holds,
// what is read from it is saved as a file that reads back to the same save
// (a fixed point after one round). `name` tells the scratch files apart.
void CheckSaveIsAFixedPoint(const uint8_t* data, size_t size, const std::string& name,
                            LoadAndSave loadAndSave);

}  // namespace qxfuzz

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

namespace qxfuzz {

// Creates an object of the library through the class registry, as clients do.
template <class T>
qx::ComPtr<T> Create(const CLSID& clsid) {
  RegisterModuleOnce();
  qx::ComPtr<T> object;
  if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, qx_iid_of<T>::value,
                       object.PutVoid()) != S_OK) {
    Violated("CoCreateInstance succeeds", "the module is registered");
  }
  return object;
}

}  // namespace qxfuzz
