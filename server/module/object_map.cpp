#include "server/module/object_map.h"

#include <array>
#include <mutex>
#include <vector>

namespace qx {

namespace {

// clang-format off
const std::array<ClassEntry, 10> kEntries = {{
  {CLSID_QXNet,            u"QXNet.QXNet.1",            u"QXNet.QXNet",            u"QXNet Class",            u"Apartment", 102},
  {CLSID_QXDetectNet,      u"QXNet.QXDetectNet.1",      u"QXNet.QXDetectNet",      u"QXDetectNet Class",      u"Free",      103},
  {CLSID_UpdateChannel,    u"QXNet.UpdateChannel.1",    u"QXNet.UpdateChannel",    u"UpdateChannel Class",    u"Apartment", 104},
  {CLSID_UpdateItems,      u"QXNet.UpdateItems.1",      u"QXNet.UpdateItems",      u"UpdateItems Class",      u"Apartment", 105},
  {CLSID_UpdateItem,       u"QXNet.UpdateItem.1",       u"QXNet.UpdateItem",       u"UpdateItem Class",       u"Apartment", 106},
  {CLSID_UpdateDocument,   u"QXNet.UpdateDocument.1",   u"QXNet.UpdateDocument",   u"UpdateDocument Class",   u"Apartment", 107},
  {CLSID_UpdateChannels,   u"QXNet.UpdateChannels.1",   u"QXNet.UpdateChannels",   u"UpdateChannels Class",   u"Apartment", 108},
  {CLSID_UpdateCatalog,    u"QXNet.UpdateCatalog.1",    u"QXNet.UpdateCatalog",    u"UpdateCatalog Class",    u"Apartment", 109},
  {CLSID_StringCollection, u"QXNet.StringCollection.1", u"QXNet.StringCollection", u"StringCollection Class", u"Apartment", 110},
  {CLSID_UpdateWorkUnit,   u"QXNet.UpdateWorkUnit.1",   u"QXNet.UpdateWorkUnit",   u"UpdateWorkUnit Class",   u"Apartment", 111},
}};
// clang-format on

struct CreateFunctions {
  std::mutex mutex;
  std::vector<std::pair<CLSID, CreateFunction>> byClass;
};

// Function-local so that class files may add to it during static
// initialisation in any order.
CreateFunctions& Registered() {
  static CreateFunctions functions;
  return functions;
}

}  // namespace

std::span<const ClassEntry> ClassEntries() { return kEntries; }

const ClassEntry* FindClassEntry(const CLSID& clsid) {
  for (const ClassEntry& entry : kEntries)
    if (entry.clsid == clsid) return &entry;
  return nullptr;
}

CreateFunction FindCreateFunction(const CLSID& clsid) {
  CreateFunctions& functions = Registered();
  std::lock_guard lock(functions.mutex);
  for (const auto& [id, create] : functions.byClass)
    if (id == clsid) return create;
  return nullptr;
}

bool AddCreateFunction(const CLSID& clsid, CreateFunction create) {
  CreateFunctions& functions = Registered();
  std::lock_guard lock(functions.mutex);
  functions.byClass.emplace_back(clsid, create);
  return true;
}

}  // namespace qx
