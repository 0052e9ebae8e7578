#include "tools/qxnet/late_bound_call.h"

#include <cctype>
#include <deque>

#include "qxnet/bstr.h"
#include "qxnet/text.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/variant_text.h"

namespace qxcli {

namespace {

bool IsPutWord(const std::string& word, size_t* equals) {
  const size_t at = word.find('=');
  if (at == std::string::npos || at == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(word[0])) && word[0] != '_') return false;
  for (size_t i = 1; i < at; ++i)
    if (!std::isalnum(static_cast<unsigned char>(word[i])) && word[i] != '_') return false;
  *equals = at;
  return true;
}

DISPID IdOf(IDispatch* object, const std::string& name) {
  std::u16string wide = qx::Utf8ToUtf16(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  ClearErrorRecord();
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw CallFailed(hr, "The object has no member named " + name);
  return id;
}

// Invoke, reporting a failure with the exception record's description, the
// error record's, or a description of the code.
void Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result,
            const std::string& what) {
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  ClearErrorRecord();
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    &exception, &bad_argument);
  qx::BStr source = qx::BStr::Attach(exception.bstrSource);
  qx::BStr description = qx::BStr::Attach(exception.bstrDescription);
  qx::BStr help = qx::BStr::Attach(exception.bstrHelpFile);
  if (SUCCEEDED(hr)) return;
  if (hr == DISP_E_EXCEPTION) {
    const HRESULT code = exception.scode != 0 ? exception.scode : hr;
    throw CallFailed(code, description.IsNull() || description.Length() == 0
                               ? what + ": " + KnownResultText(code)
                               : description.Utf8());
  }
  std::string text = TakeErrorDescription();
  if (text.empty()) {
    text = what + ": " + (KnownResultText(hr).empty() ? HresultText(hr) : KnownResultText(hr));
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND)
      text += " (argument " + std::to_string(params.cArgs - bad_argument) + ")";
  }
  throw CallFailed(hr, text);
}

// Storage of a by-reference argument and the VT_BYREF variant pointing to it.
void MakeReference(qx::Variant& storage, VARIANT& reference) {
  VariantInit(&reference);
  if (storage.vt == VT_EMPTY) {
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &storage;
    return;
  }
  reference.vt = static_cast<VARTYPE>(VT_BYREF | storage.vt);
  reference.byref = &storage.lVal;  // every member of the value union starts here
}

}  // namespace

CallPlan PlanCall(const std::vector<std::string>& words) {
  CallPlan plan;
  size_t i = 0;
  for (size_t equals = 0; i < words.size() && IsPutWord(words[i], &equals); ++i)
    plan.puts.push_back({words[i].substr(0, equals), words[i].substr(equals + 1)});
  if (i < words.size()) {
    plan.member = words[i++];
    plan.arguments.assign(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
  }
  if (plan.puts.empty() && !plan.member)
    throw UsageError("Name a member to call, or NAME=VALUE properties to set");
  return plan;
}

void PutProperty(IDispatch* object, const qx::InterfaceInfo* info, const std::string& name,
                 const std::string& value) {
  const DISPID id = IdOf(object, name);
  VARTYPE vt = VT_BSTR;
  if (info) {
    const qx::MemberInfo* member = info->Find(name, INVOKE_PROPERTYPUT);
    if (!member) throw UsageError(name + " is not a property that can be set");
    if (!member->params.empty()) vt = member->params.front().vt;
  }
  qx::Variant argument = ArgumentFromText(value, vt);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  Invoke(object, id, DISPATCH_PROPERTYPUT, params, nullptr, "Setting " + name);
}

CallOutcome CallMember(IDispatch* object, const qx::InterfaceInfo* info, const std::string& name,
                       const std::vector<std::string>& arguments) {
  const DISPID id = IdOf(object, name);
  const qx::MemberInfo* member = nullptr;
  if (info) {
    member = info->Find(name, INVOKE_FUNC);
    if (!member) member = info->Find(name, INVOKE_PROPERTYGET);
    if (!member)
      throw UsageError(name + " cannot be called or read (it can only be set: " + name + "=VALUE)");
  }

  // Values in declaration order; dispatch wants them last-first.
  std::deque<qx::Variant> storage;
  std::vector<std::pair<std::string, qx::Variant*>> by_reference;
  std::vector<VARIANT> passed;
  if (member) {
    const std::vector<const qx::ParamInfo*> declared = member->Arguments();
    if (arguments.size() > declared.size()) {
      std::string usage = name + " takes " + std::to_string(declared.size()) + " argument(s)";
      for (const qx::ParamInfo* p : declared) usage += " " + p->name;
      throw UsageError(usage);
    }
    for (size_t i = 0; i < declared.size(); ++i) {
      const qx::ParamInfo& p = *declared[i];
      const bool given = i < arguments.size();
      const bool out_only = p.IsOut() && !(p.flags & PARAMFLAG_FIN);
      if (!given && !out_only) {
        std::string usage = name + " needs the argument " + p.name + " (";
        for (const qx::ParamInfo* q : declared)
          usage += (q == declared.front() ? "" : ", ") + q->name;
        throw UsageError(usage + ")");
      }
      qx::Variant& value = storage.emplace_back();
      if (given) value = ArgumentFromText(arguments[i], p.vt);
      if (p.by_ref && p.IsOut()) {
        // The object writes back through the reference: hold the declared type.
        qx::Variant typed;
        if (given && p.vt != VT_VARIANT &&
            SUCCEEDED(VariantChangeType(typed.Put(), &value, 0, p.vt)))
          value = typed;
        else if (!given && p.vt != VT_VARIANT) {
          value.llVal = 0;  // the zero value of the declared type (a null string)
          value.vt = p.vt;
        }
        by_reference.push_back({p.name, &value});
        VARIANT reference;
        MakeReference(value, reference);
        passed.push_back(reference);
      } else {
        passed.push_back(value);
      }
    }
  } else {
    for (const std::string& text : arguments) {
      storage.push_back(ArgumentFromText(text, VT_BSTR));
      passed.push_back(storage.back());
    }
  }
  std::vector<VARIANT> reversed(passed.rbegin(), passed.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  CallOutcome outcome;
  Invoke(object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, &outcome.result, name);
  for (auto& [param_name, value] : by_reference) outcome.out_values.push_back({param_name, *value});
  return outcome;
}

}  // namespace qxcli
