// qxnet call | describe: late-bound use of any class through IDispatch.
#include <cstdio>
#include <memory>

#include "qxnet/dispatch_members.h"
#include "qxnet/text.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/late_bound_call.h"
#include "tools/qxnet/object_creation.h"
#include "tools/qxnet/variant_text.h"

namespace qxcli {

namespace {

using qx::MemberInfo;
using qx::ParamInfo;
using qx::TypeName;

qx::ComPtr<IDispatch> CreateDispatch(const std::string& name) { return Create<IDispatch>(name); }

std::string GuidText(const GUID& guid) {
  OLECHAR text[64] = {};
  StringFromGUID2(guid, text, 64);
  return qx::Utf16ToUtf8(qx::WideView(text));
}

const char* KindName(INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_PROPERTYGET:
      return "get";
    case INVOKE_PROPERTYPUT:
      return "put";
    case INVOKE_PROPERTYPUTREF:
      return "putref";
    default:
      return "method";
  }
}

const char* Direction(const ParamInfo& p) {
  const bool in = (p.flags & PARAMFLAG_FIN) != 0;
  const bool out = (p.flags & PARAMFLAG_FOUT) != 0;
  if (p.IsRetval()) return "retval";
  if (in && out) return "inout";
  if (out) return "out";
  return "in";
}

// "RetrieveFile(BSTR url, long parentWnd, [inout] BSTR fileName)",
// "title: BSTR" for a get, "title = BSTR" for a put.
std::string Signature(const MemberInfo& m) {
  const ParamInfo* retval = m.Retval();
  const std::vector<const ParamInfo*> arguments = m.Arguments();
  if (m.kind == INVOKE_PROPERTYGET && arguments.empty())
    return m.name + ": " + (retval ? TypeName(retval->vt) : std::string("void"));
  if ((m.kind == INVOKE_PROPERTYPUT || m.kind == INVOKE_PROPERTYPUTREF) && arguments.size() == 1)
    return m.name + " = " + TypeName(arguments.front()->vt);
  std::string text = m.name + "(";
  for (size_t i = 0; i < arguments.size(); ++i) {
    const ParamInfo& p = *arguments[i];
    if (i) text += ", ";
    if (std::string(Direction(p)) != "in") text += std::string("[") + Direction(p) + "] ";
    text += TypeName(p.vt) + " " + p.name;
  }
  text += ")";
  if (retval) text += " -> " + TypeName(retval->vt);
  return text;
}

nlohmann::json MemberJson(const MemberInfo& m) {
  nlohmann::json params = nlohmann::json::array();
  for (const ParamInfo* p : m.Arguments())
    params.push_back({{"name", p->name}, {"type", TypeName(p->vt)}, {"direction", Direction(*p)}});
  const ParamInfo* retval = m.Retval();
  return {{"name", m.name},
          {"dispid", m.id},
          {"kind", KindName(m.kind)},
          {"params", params},
          {"returns", retval ? nlohmann::json(TypeName(retval->vt)) : nlohmann::json(nullptr)},
          {"restricted", m.restricted},
          {"signature", Signature(m)}};
}

void AddCall(CLI::App& app, const GlobalOptions& options) {
  struct Args {
    std::string progid;
    std::vector<std::string> words;
  };
  auto args = std::make_shared<Args>();
  auto* command =
      app.add_subcommand("call", "Call a member of any class late-bound through IDispatch");
  command->add_option("PROGID", args->progid, "Class (QXNet.UpdateItem, UpdateItem or {CLSID})")
      ->required();
  command->add_option("STEP", args->words,
                      "NAME=VALUE sets a property; then MEMBER [ARG...] calls a method or reads "
                      "a property");
  command->footer(
      "Examples:\n"
      "  qxnet call QXNet.UpdateItem title=Hello required=true title\n"
      "  qxnet call QXNet.UpdateItem guid=abc pubDate=2024-06-03T09:30:00 MarshallObject\n"
      "  qxnet call QXNet.QXNet ValidateUrl https://example.com/\n"
      "Booleans: true/false; dates: YYYY-MM-DD[THH:MM[:SS]]; other values are passed as text\n"
      "and converted by the object to the declared type.");
  command->allow_extras(false);
  command->prefix_command(false);
  command->callback([&options, args] {
    const CallPlan plan = PlanCall(args->words);
    auto object = CreateDispatch(args->progid);
    const std::shared_ptr<const qx::InterfaceInfo> info = qx::ReadInterface(object.Get());
    nlohmann::json set = nlohmann::json::object();
    for (const CallPlan::Put& put : plan.puts) {
      PutProperty(object.Get(), info.get(), put.name, put.value);
      set[put.name] = put.value;
    }
    nlohmann::json document = {{"object", FullProgId(args->progid)}};
    if (!plan.puts.empty()) document["set"] = set;
    if (plan.member) {
      const CallOutcome outcome =
          CallMember(object.Get(), info.get(), *plan.member, plan.arguments);
      document["member"] = *plan.member;
      document["result"] = VariantJson(outcome.result);
      nlohmann::json out = nlohmann::json::object();
      for (const auto& [name, value] : outcome.out_values) out[name] = VariantJson(value);
      if (!outcome.out_values.empty()) document["out"] = out;
      if (!options.json) {
        if (outcome.result.vt != VT_EMPTY) std::printf("%s\n", VariantText(outcome.result).c_str());
        for (const auto& [name, value] : outcome.out_values)
          std::printf("%s: %s\n", name.c_str(), VariantText(value).c_str());
      }
    }
    if (options.json) PrintJson(document);
  });
}

void AddDescribe(CLI::App& app, const GlobalOptions& options) {
  auto progid = std::make_shared<std::string>();
  auto* command =
      app.add_subcommand("describe", "List the members of a class from its type information");
  command->add_option("PROGID", *progid, "Class (QXNet.UpdateItem, UpdateItem or {CLSID})")
      ->required();
  command->callback([&options, progid] {
    const CLSID clsid = ClassIdOf(*progid);
    auto object = CreateDispatch(*progid);
    const std::shared_ptr<const qx::InterfaceInfo> info = qx::ReadInterface(object.Get());
    if (!info) throw CallFailed(E_NOTIMPL, FullProgId(*progid) + " hands out no type information");
    if (options.json) {
      nlohmann::json members = nlohmann::json::array();
      for (const MemberInfo& m : info->members) members.push_back(MemberJson(m));
      PrintJson({{"progId", FullProgId(*progid)},
                 {"clsid", GuidText(clsid)},
                 {"interface",
                  {{"name", info->name}, {"iid", GuidText(info->iid)}, {"dual", info->dual}}},
                 {"members", members}});
      return;
    }
    std::printf("%s %s\ninterface %s %s%s\n", FullProgId(*progid).c_str(), GuidText(clsid).c_str(),
                info->name.c_str(), GuidText(info->iid).c_str(), info->dual ? " (dual)" : "");
    for (const MemberInfo& m : info->members) {
      std::printf("  %4d  %-6s  %s%s\n", static_cast<int>(m.id), KindName(m.kind),
                  Signature(m).c_str(), m.restricted ? "  (restricted)" : "");
    }
  });
}

}  // namespace

void AddDispatchCommands(CLI::App& app, const GlobalOptions& options) {
  AddCall(app, options);
  AddDescribe(app, options);
}

}  // namespace qxcli
