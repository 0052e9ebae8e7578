#include "dispatch_call.h"

#include <deque>
#include <optional>
#include <vector>

#include "com_error.h"
#include "variant_conversion.h"
#include "wide_text.h"

namespace qxpy {

namespace {

// A VARIANT passing `storage` by reference.
VARIANT ReferenceTo(qx::Variant& storage, VARTYPE declared) {
  VARIANT reference;
  VariantInit(&reference);
  if (declared == VT_VARIANT) {
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &storage;
  } else {
    reference.vt = static_cast<VARTYPE>(VT_BYREF | storage.vt);
    reference.byref = &storage.llVal;  // every member of the value union starts here
  }
  return reference;
}

// The value an omitted by-reference parameter starts with: empty, false, 0.
void ZeroOf(VARTYPE declared, qx::Variant& storage) {
  storage.Clear();
  if (declared == VT_VARIANT) return;
  storage.vt = declared;
  storage.llVal = 0;
}

void MarkMissing(qx::Variant& storage) {
  storage.Clear();
  storage.vt = VT_ERROR;
  storage.scode = DISP_E_PARAMNOTFOUND;
}

std::optional<int> ArgumentPosition(HRESULT hr, UINT bad_argument, UINT count) {
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && bad_argument < count)
    return static_cast<int>(count - 1 - bad_argument);  // rgvarg runs last-first
  return std::nullopt;
}

void Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result,
            const std::string& what) {
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  ClearErrorRecord();
  HRESULT hr;
  {
    // The object may work for long (a download) and fire events, which
    // take the GIL back on whatever thread they come from.
    py::gil_scoped_release unlocked;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception,
                        &bad_argument);
  }
  if (FAILED(hr))
    RaiseInvokeError(hr, exception, ArgumentPosition(hr, bad_argument, params.cArgs), what);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

}  // namespace

py::object CallMember(const CallTarget& target, const py::tuple& args) {
  const std::string& name = target.name;
  std::deque<qx::Variant> storage;  // stable addresses for references
  std::vector<VARIANT> passed;      // declaration order
  std::vector<const qx::Variant*> outputs;

  if (!target.member) {
    for (py::handle arg : args) {
      ToVariant(arg, storage.emplace_back());
      passed.push_back(storage.back());
    }
  } else {
    const std::vector<const ParamInfo*> declared = target.member->Arguments();
    if (args.size() > declared.size())
      RaisePython(PyExc_TypeError, name + "() takes at most " + std::to_string(declared.size()) +
                                       " argument(s) (" + std::to_string(args.size()) + " given)");
    for (size_t i = 0; i < declared.size(); ++i) {
      const ParamInfo& p = *declared[i];
      const std::string what = name + "() argument '" + p.name + "'";
      qx::Variant& value = storage.emplace_back();
      if (i < args.size()) {
        ToVariant(args[i], value);
        CoerceTo(value, p.vt, what);
      } else if (p.by_ref && (p.IsOut() || p.IsOptional())) {
        ZeroOf(p.vt, value);
      } else if (p.IsOptional()) {
        MarkMissing(value);
      } else {
        RaisePython(PyExc_TypeError, name + "() missing argument '" + p.name + "'");
      }
      if (p.by_ref) {
        passed.push_back(ReferenceTo(value, p.vt));
        if (p.IsOut()) outputs.push_back(&value);
      } else {
        passed.push_back(value);  // a view; `storage` keeps the ownership
      }
    }
  }

  std::vector<VARIANT> reversed(passed.rbegin(), passed.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  qx::Variant result;
  Invoke(target.object, target.id, target.flags, params, &result, name);

  std::vector<py::object> values;
  if (!target.member || target.member->Retval()) values.push_back(FromVariant(result));
  for (const qx::Variant* out : outputs) values.push_back(FromVariant(*out));
  if (!target.member && values.front().is_none()) values.clear();
  if (values.empty()) return py::none();
  if (values.size() == 1) return values.front();
  py::tuple tuple(values.size());
  for (size_t i = 0; i < values.size(); ++i) tuple[i] = values[i];
  return tuple;
}

void PutProperty(IDispatch* object, DISPID id, const MemberInfo* put, const std::string& name,
                 py::handle value) {
  qx::Variant argument;
  ToVariant(value, argument);
  WORD flags = DISPATCH_PROPERTYPUT;
  if (put) {
    const std::vector<const ParamInfo*> declared = put->Arguments();
    if (!declared.empty()) CoerceTo(argument, declared.back()->vt, "property '" + name + "'");
    if (put->kind == INVOKE_PROPERTYPUTREF) flags = DISPATCH_PROPERTYPUTREF;
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  Invoke(object, id, flags, params, nullptr, "Setting " + name);
}

}  // namespace qxpy
