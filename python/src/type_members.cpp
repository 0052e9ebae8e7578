#include "type_members.h"

#include <cstring>
#include <map>
#include <vector>

namespace qxpy {

namespace {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

}  // namespace

std::shared_ptr<const InterfaceInfo> InterfaceOf(IDispatch* object) {
  const qx::ComPtr<ITypeInfo> info = qx::TypeInfoOf(object);
  if (!info) return nullptr;
  // Read under the GIL, which every caller holds: the cache needs no lock.
  static auto* cache = new std::map<GUID, std::shared_ptr<const InterfaceInfo>, GuidLess>();
  const GUID iid = qx::TypeGuid(info.Get());
  if (auto found = cache->find(iid); found != cache->end()) return found->second;
  auto read = qx::ReadInterface(info.Get());
  if (read) (*cache)[iid] = read;
  return read;
}

std::string Signature(const MemberInfo& member) {
  std::string text = member.name + "(";
  std::vector<std::string> returned;
  if (const ParamInfo* retval = member.Retval()) returned.push_back(TypeName(retval->vt));
  bool first = true;
  for (const ParamInfo* p : member.Arguments()) {
    if (!first) text += ", ";
    first = false;
    text += p->name + ": " + TypeName(p->vt);
    if (p->IsOut()) {
      text += p->IsIn() ? " [in, out]" : " [out]";
      returned.push_back(p->name + ": " + TypeName(p->vt));
    } else if (p->IsOptional()) {
      text += " [optional]";
    }
  }
  text += ")";
  if (returned.empty()) return text + " -> None";
  if (returned.size() == 1) return text + " -> " + returned.front();
  text += " -> (";
  for (size_t i = 0; i < returned.size(); ++i) text += (i ? ", " : "") + returned[i];
  return text + ")";
}

}  // namespace qxpy
