#include "detect/qx_detect_net.h"

#include <limits>
#include <string>
#include <vector>

#include "detect/dotnet_info.h"
#include "detect/runtime_versions.h"
#include "qxnet/bstr.h"
#include "server/module/object_map.h"
#include "server/object_frame/error_report.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kNotInstalled = u".Net is not installed";

class SafeArrayOwner {
 public:
  explicit SafeArrayOwner(SAFEARRAY* array) : array_(array) {}
  ~SafeArrayOwner() {
    if (array_) SafeArrayDestroy(array_);
  }
  SafeArrayOwner(const SafeArrayOwner&) = delete;
  SafeArrayOwner& operator=(const SafeArrayOwner&) = delete;
  SAFEARRAY* Get() const { return array_; }
  SAFEARRAY* Detach() {
    SAFEARRAY* array = array_;
    array_ = nullptr;
    return array;
  }

 private:
  SAFEARRAY* array_;
};

// A one-dimensional array of VT_BSTR variants, lower bound 0, in list order.
HRESULT MakeVersionArray(const std::vector<std::u16string>& versions, SAFEARRAY** out) {
  if (versions.size() > static_cast<size_t>(std::numeric_limits<LONG>::max())) {
    return E_OUTOFMEMORY;
  }
  SAFEARRAYBOUND bound{};
  bound.cElements = static_cast<ULONG>(versions.size());
  bound.lLbound = 0;
  SafeArrayOwner array(SafeArrayCreate(VT_VARIANT, 1, &bound));
  if (!array.Get()) return E_OUTOFMEMORY;
  for (size_t i = 0; i < versions.size(); ++i) {
    BStr text(versions[i]);
    if (text.IsNull()) return E_OUTOFMEMORY;
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_BSTR;
    element.bstrVal = text.Get();
    LONG index = static_cast<LONG>(i);
    // The array stores its own copy; `text` keeps ours.
    const HRESULT hr = SafeArrayPutElement(array.Get(), &index, &element);
    if (FAILED(hr)) return hr;
  }
  *out = array.Detach();
  return S_OK;
}

}  // namespace

HRESULT CQXDetectNet::get_IsDotNetPresent(VARIANT_BOOL* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&] {
    const detect::DotNetInfo info = detect::BuildDotNetInfo();
    *pVal = info.present ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT CQXDetectNet::get_InstallRootPath(BSTR* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = nullptr;
  return NoThrow([&] {
    const detect::DotNetInfo info = detect::BuildDotNetInfo();
    const std::optional<std::u16string> root =
        detect::InstallRootWithin(info, detect::kInstallRootPathCapacity);
    if (!root) return Error(kNotInstalled, E_FAIL);
    BStr text(*root);
    if (text.IsNull()) return E_OUTOFMEMORY;
    *pVal = text.Detach();
    return S_OK;
  });
}

HRESULT CQXDetectNet::get_CLRVersions(VARIANT* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  VariantInit(pVal);
  return NoThrow([&] {
    const detect::DotNetInfo info = detect::BuildDotNetInfo();
    std::vector<std::u16string> versions;
    if (detect::CollectClrVersions(info, versions) == 0) return Error(kNotInstalled, E_FAIL);
    SAFEARRAY* array = nullptr;
    const HRESULT hr = MakeVersionArray(versions, &array);
    if (FAILED(hr)) return hr;
    pVal->vt = VT_ARRAY | VT_VARIANT;
    pVal->parray = array;
    return S_OK;
  });
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_QXDetectNet, qx::CQXDetectNet)
