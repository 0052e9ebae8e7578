// qxnet dotnet: the managed runtime detection of QXDetectNet.
#include <cstdio>
#include <string>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/variant.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/object_creation.h"

namespace qxcli {

namespace {

// The version strings of a one-dimensional array of VARIANTs (VT_BSTR).
std::vector<std::string> VersionList(const VARIANT& versions) {
  std::vector<std::string> result;
  if (!(versions.vt & VT_ARRAY) || !versions.parray) return result;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(versions.parray, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(versions.parray, 1, &upper)))
    return result;
  for (LONG i = lower; i <= upper; ++i) {
    qx::Variant element, text;
    if (FAILED(SafeArrayGetElement(versions.parray, &i, element.Put()))) continue;
    if (SUCCEEDED(VariantChangeType(text.Put(), &element, 0, VT_BSTR)))
      result.push_back(qx::BstrToUtf8(text.bstrVal));
  }
  return result;
}

}  // namespace

void AddDotNetCommand(CLI::App& app, const GlobalOptions& options) {
  auto* command = app.add_subcommand(
      "dotnet", "Tell whether a .NET runtime is installed, its install root and versions");
  command->callback([&options] {
    auto detect = Create<_QXDetectNet>("QXNet.QXDetectNet");
    VARIANT_BOOL present = VARIANT_FALSE;
    Call("IsDotNetPresent", [&] { return detect->get_IsDotNetPresent(&present); });
    qx::BStr root;
    qx::Variant versions;
    std::vector<std::string> list;
    if (present == VARIANT_TRUE) {
      Call("InstallRootPath", [&] { return detect->get_InstallRootPath(root.Put()); });
      Call("CLRVersions", [&] { return detect->get_CLRVersions(versions.Put()); });
      list = VersionList(versions);
    }
    if (options.json) {
      PrintJson(
          {{"present", present == VARIANT_TRUE}, {"installRoot", root.Utf8()}, {"versions", list}});
      return;
    }
    std::printf("present:      %s\n", present == VARIANT_TRUE ? "yes" : "no");
    if (present != VARIANT_TRUE) return;
    std::printf("install root: %s\nversions:    ", root.Utf8().c_str());
    if (list.empty()) std::printf(" (none)");
    for (const std::string& version : list) std::printf(" %s", version.c_str());
    std::printf("\n");
  });
}

}  // namespace qxcli
