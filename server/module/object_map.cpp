#include "server/module/object_map.h"

#include <mutex>
#include <vector>

#include "server/type_library/type_library.h"

namespace qx {

namespace {

// Built once from the type library's coclasses, which are in map order.
const std::vector<ClassEntry>& Entries() {
  static const std::vector<ClassEntry> entries = [] {
    std::vector<ClassEntry> built;
    int script = 102;
    for (const typelib::CoclassDesc& coclass : typelib::Coclasses()) {
      built.push_back({*coclass.clsid, coclass.progId, coclass.versionIndependentProgId,
                       coclass.description, coclass.threadingModel, script++});
    }
    return built;
  }();
  return entries;
}

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

std::span<const ClassEntry> ClassEntries() { return Entries(); }

const ClassEntry* FindClassEntry(const CLSID& clsid) {
  for (const ClassEntry& entry : Entries())
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

bool AddCreateFunction(const CLSID& clsid, CreateFunction create) noexcept {
  // Runs while the module loads, where an exception would end the process:
  // a class that cannot be added stays out of the module instead.
  try {
    CreateFunctions& functions = Registered();
    const std::lock_guard lock(functions.mutex);
    functions.byClass.emplace_back(clsid, create);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace qx
