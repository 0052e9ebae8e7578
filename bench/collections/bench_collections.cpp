// Time per item of UpdateItems.Add (distinct guids) and InCollection at
// N = 2,000 and N = 20,000, and the ratio of the two per-item times: a ratio
// near 1 means the work grows linearly with N, a ratio near 10 quadratically.
//
// Objects are created through CoCreateInstance after the module is registered
// into a temporary registry, as every client creates them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/module/module_exports.h"

namespace {

using Clock = std::chrono::steady_clock;

struct PerItem {
  double addNs;
  double inCollectionNs;
};

template <class T>
qx::ComPtr<T> Create(const CLSID& clsid) {
  qx::ComPtr<T> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, qx_iid_of<T>::value,
                              object.PutVoid()))) {
    std::fprintf(stderr, "cannot create an object of the library\n");
    std::exit(1);
  }
  return object;
}

std::u16string GuidOf(size_t i) {
  return u"{item-" + qx::Utf8ToUtf16(std::to_string(i * 2654435761u % 1000003u)) + u"-" +
         qx::Utf8ToUtf16(std::to_string(i)) + u"}";
}

PerItem Measure(size_t n) {
  // Items are made beforehand so that only Add and InCollection are timed.
  std::vector<qx::ComPtr<IUpdateItem>> items;
  std::vector<qx::BStr> lookups;
  items.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    items.push_back(Create<IUpdateItem>(CLSID_UpdateItem));
    qx::BStr guid(GuidOf(i));
    items.back()->put_guid(guid.Get());
    // Look the guids up in other letter case, in another order.
    std::u16string upper = GuidOf((i * 7919) % n);
    for (char16_t& c : upper)
      if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    lookups.emplace_back(upper);
  }
  qx::ComPtr<IUpdateItems> list = Create<IUpdateItems>(CLSID_UpdateItems);

  auto start = Clock::now();
  for (auto& item : items) list->Add(item.Get());
  auto added = Clock::now();
  size_t found = 0;
  for (auto& guid : lookups) {
    VARIANT_BOOL present = VARIANT_FALSE;
    list->InCollection(guid.Get(), &present);
    found += present == VARIANT_TRUE;
  }
  auto looked = Clock::now();

  LONG count = 0;
  list->get_Count(&count);
  if (static_cast<size_t>(count) != n || found != n) {
    std::fprintf(stderr, "unexpected result: count %ld, found %zu of %zu\n", long(count), found, n);
    std::exit(1);
  }
  auto ns = [n](auto from, auto to) {
    return std::chrono::duration<double, std::nano>(to - from).count() / double(n);
  };
  return {ns(start, added), ns(added, looked)};
}

}  // namespace

int main() {
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("bench-collections-" + std::to_string(getpid()));
  std::filesystem::create_directories(root);
  setenv("QXNET_REGISTRY", (root / "registry.db").c_str(), 1);
  if (DllRegisterServer() != S_OK) {
    std::fprintf(stderr, "module registration failed\n");
    return 1;
  }

  Measure(500);  // warm up: loads the module and the allocator
  PerItem small = Measure(2000);
  PerItem large = Measure(20000);
  // A further point past the caches' reach: per-item time that stays flat
  // from here on shows linear growth.
  PerItem huge = Measure(100000);
  std::printf("%-14s %16s %16s %8s %17s\n", "operation", "N=2000 ns/item", "N=20000 ns/item",
              "ratio", "N=100000 ns/item");
  std::printf("%-14s %16.1f %16.1f %8.2f %17.1f\n", "Add", small.addNs, large.addNs,
              large.addNs / small.addNs, huge.addNs);
  std::printf("%-14s %16.1f %16.1f %8.2f %17.1f\n", "InCollection", small.inCollectionNs,
              large.inCollectionNs, large.inCollectionNs / small.inCollectionNs,
              huge.inCollectionNs);

  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return 0;
}
