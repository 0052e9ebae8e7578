// The module's object map: the ten classes of the type library's
// description, in registration order, with their identifiers, names and
// threading models, and the creation function each class file contributes
// when it is built into the module.
#pragma once

#include <span>
#include <string>

#include "qxnet/qxnetlib.h"

namespace qx {

using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

struct ClassEntry {
  CLSID clsid;
  std::u16string progId;                    // "QXNet.QXNet.1"
  std::u16string versionIndependentProgId;  // "QXNet.QXNet"
  std::u16string description;               // "QXNet Class"
  std::u16string threadingModel;            // "Apartment" or "Free"
  int scriptResource;                       // 102..111
};

// All classes in map order.
std::span<const ClassEntry> ClassEntries();
const ClassEntry* FindClassEntry(const CLSID& clsid);

// The creation function of a class, or null while the class is not part of
// the module.
CreateFunction FindCreateFunction(const CLSID& clsid);

// Called at load time by each class file (see QX_OBJECT_ENTRY).
bool AddCreateFunction(const CLSID& clsid, CreateFunction create) noexcept;

}  // namespace qx

// Puts a class into the module: QX_OBJECT_ENTRY(CLSID_UpdateItem, CUpdateItem)
// in the class's .cpp file.
#define QX_OBJECT_ENTRY_CONCAT2(a, b) a##b
#define QX_OBJECT_ENTRY_CONCAT(a, b) QX_OBJECT_ENTRY_CONCAT2(a, b)
#define QX_OBJECT_ENTRY(clsid, Class)                                              \
  namespace {                                                                      \
  [[maybe_unused]] const bool QX_OBJECT_ENTRY_CONCAT(qx_object_entry_, __LINE__) = \
      ::qx::AddCreateFunction(clsid, &::qx::CreateComObject<Class>);               \
  }
