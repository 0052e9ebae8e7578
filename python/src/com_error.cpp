#include "com_error.h"

#include <cstdio>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "wide_text.h"

namespace qxpy {

namespace {

struct RecordText {
  std::string description;
  std::string source;
};

// The thread's error record, taken (and so cleared).
RecordText TakeErrorRecord() {
  RecordText text;
  qx::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return text;
  qx::BStr description, source;
  info->GetDescription(description.Put());
  info->GetSource(source.Put());
  text.description = Utf8Text(description.View());
  text.source = Utf8Text(source.View());
  return text;
}

}  // namespace

py::object ErrorType() {
  // Imported on use: the class lives in the package's Python layer.
  return py::module_::import("qxnet._error").attr("Error");
}

void RaisePython(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

void RaiseError(HRESULT hr, const std::string& description, const std::string& source,
                std::optional<int> argerror) {
  py::object error =
      ErrorType()(description, static_cast<uint32_t>(hr), source,
                  argerror ? py::object(py::int_(*argerror)) : py::object(py::none()));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

void ClearErrorRecord() { SetErrorInfo(0, nullptr); }

std::string ResultText(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x80004001u:
      return "Not implemented";
    case 0x80004002u:
      return "No such interface supported";
    case 0x80004003u:
      return "Invalid pointer";
    case 0x80004004u:
      return "Operation aborted";
    case 0x80004005u:
      return "Unspecified error";
    case 0x8007000Eu:
      return "Out of memory";
    case 0x80070057u:
      return "The parameter is incorrect";
    case 0x80020003u:
      return "Member not found";
    case 0x80020004u:
      return "Parameter not found";
    case 0x80020005u:
      return "Type mismatch";
    case 0x80020006u:
      return "Unknown name";
    case 0x80020007u:
      return "No named arguments";
    case 0x80020008u:
      return "Bad variable type";
    case 0x8002000Au:
      return "Out of present range";
    case 0x8002000Bu:
      return "Invalid index";
    case 0x8002000Eu:
      return "Invalid number of parameters";
    case 0x8002000Fu:
      return "Parameter not optional";
    case 0x80040200u:
      return "The object has no such connection";
    case 0x80040202u:
      return "The connection point cannot connect";
    default:
      break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "Error 0x%08X", static_cast<unsigned>(hr));
  return text;
}

void RaiseInvokeError(HRESULT hr, EXCEPINFO& exception, std::optional<int> argerror,
                      const std::string& what) {
  if (hr == DISP_E_EXCEPTION && exception.pfnDeferredFillIn)
    exception.pfnDeferredFillIn(&exception);
  qx::BStr source = qx::BStr::Attach(exception.bstrSource);
  qx::BStr description = qx::BStr::Attach(exception.bstrDescription);
  qx::BStr help = qx::BStr::Attach(exception.bstrHelpFile);
  exception.bstrSource = exception.bstrDescription = exception.bstrHelpFile = nullptr;
  if (hr == DISP_E_EXCEPTION) {
    // The object's own code travels in the record; DISP_E_EXCEPTION only
    // says that there is one.
    const HRESULT code = exception.scode != 0 ? exception.scode : hr;
    ClearErrorRecord();
    std::string text = Utf8Text(description.View());
    if (text.empty()) text = what + ": " + ResultText(code);
    RaiseError(code, text, Utf8Text(source.View()), argerror);
  }
  RecordText record = TakeErrorRecord();
  if (record.description.empty()) record.description = what + ": " + ResultText(hr);
  RaiseError(hr, record.description, record.source, argerror);
}

void RaiseCallError(HRESULT hr, const std::string& what) {
  RecordText record = TakeErrorRecord();
  if (record.description.empty()) record.description = what + ": " + ResultText(hr);
  RaiseError(hr, record.description, record.source);
}

}  // namespace qxpy
