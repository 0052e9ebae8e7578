// One update pass at two sizes, N = 2,000 and N = 20,000 items:
//   - Parse of a feed with N items in one channel,
//   - Save and Load of a catalog holding N items,
//   - reconciliation of an N-item feed (half known, half new) with it,
// each printed as time per item, as the ratio to a bare pugixml load (and,
// for Save, load plus save) of the same file, and as the growth of the
// per-item time from 2,000 to 20,000 items (near 1 means linear).
//
// Objects are created through CoCreateInstance after the module is
// registered into a temporary registry, as every client creates them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <pugixml.hpp>

#include "feed/feed_date.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/module/module_exports.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

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

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

// Best of `rounds` runs of `body`, in seconds; `prepare` runs untimed first.
double BestOf(int rounds, const std::function<void()>& prepare,
              const std::function<void()>& body) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    prepare();
    const auto start = Clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// A feed of `n` items in one channel, guids first..first+n-1.
void WriteFeed(const fs::path& path, size_t first, size_t n) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
         "<title>Corvane updates</title><link>https://updates.example/</link>"
         "<description>Update feed</description>\n";
  for (size_t i = first; i < first + n; ++i) {
    out << "<item" << (i % 7 == 0 ? " required=\"true\"" : "") << ">"
        << "<title>Update " << i << " for the desktop product</title>"
        << "<link>https://updates.example/item/" << i << "</link>"
        << "<description>Fixes and improvements of build " << i
        << ": several issues &amp; one &lt;crash&gt; resolved.</description>"
        << "<guid>{6F9619FF-8B86-D011-B42D-" << 100000000000 + i << "}</guid>"
        << "<category>Patch</category>"
        << "<pubDate>" << qx::Utf16ToUtf8(qx::feed::FormatFeedDate(45000.0 + double(i % 900)))
        << "</pubDate></item>\n";
  }
  out << "</channel>\n</rss>\n";
}

double PugiLoad(const fs::path& path) {
  return BestOf(3, [] {}, [&] {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) std::exit(1);
  });
}

double PugiLoadSave(const fs::path& path, const fs::path& copy) {
  return BestOf(3, [] {}, [&] {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) std::exit(1);
    if (!doc.save_file(copy.c_str(), "", pugi::format_raw)) std::exit(1);
  });
}

qx::ComPtr<IUpdateDocument> Parse(const fs::path& path) {
  auto doc = Create<IUpdateDocument>(CLSID_UpdateDocument);
  qx::BStr name = qx::BStr::FromUtf8(path.string());
  Check(doc->Parse(name.Get()), "Parse");
  return doc;
}

struct Figures {
  size_t n;
  double parse, pugiFeed;
  double save, load, pugiCatalogLoad, pugiCatalogLoadSave;
  double reconcile;
  double create;
};

Figures Measure(const fs::path& dir, size_t n) {
  Figures f{};
  f.n = n;
  const fs::path feed = dir / ("feed-" + std::to_string(n) + ".xml");
  const fs::path second = dir / ("feed2-" + std::to_string(n) + ".xml");
  const fs::path catalogFile = dir / ("catalog-" + std::to_string(n) + ".xml");
  WriteFeed(feed, 0, n);
  WriteFeed(second, n / 2, n);  // half known, half new

  f.pugiFeed = PugiLoad(feed);
  f.parse = BestOf(3, [] {}, [&] { Parse(feed); });

  // A catalog holding the n items of the first feed.
  qx::ComPtr<IUpdateCatalog> catalog;
  const qx::BStr catalogName = qx::BStr::FromUtf8(catalogFile.string());
  auto fill = [&] {
    catalog = Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    catalog->put_fileName(catalogName.Get());
    Check(catalog->ReconcileWithUpdateDocument(Parse(feed).Get()), "Reconcile");
  };
  fill();
  f.save = BestOf(3, [] {}, [&] { Check(catalog->Save(), "Save"); });
  f.pugiCatalogLoad = PugiLoad(catalogFile);
  f.pugiCatalogLoadSave = PugiLoadSave(catalogFile, dir / "pugi-copy.xml");
  f.load = BestOf(3, [] {}, [&] {
    auto fresh = Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    fresh->put_fileName(catalogName.Get());
    Check(fresh->Load(), "Load");
  });

  qx::ComPtr<IUpdateDocument> doc;
  f.reconcile = BestOf(3, [&] {
    fill();
    doc = Parse(second);
  }, [&] { Check(catalog->ReconcileWithUpdateDocument(doc.Get()), "Reconcile"); });
  LONG count = 0;
  qx::ComPtr<IUpdateItems> pending;
  catalog->get_NotInstalledItems(pending.Put());
  pending->get_Count(&count);
  if (static_cast<size_t>(count) != n + n / 2) {
    std::fprintf(stderr, "reconciliation gave %d items, expected %zu\n", count, n + n / 2);
    std::exit(1);
  }

  // The part of Parse and Load spent creating item objects by class.
  f.create = BestOf(3, [] {}, [&] {
    for (size_t i = 0; i < n; ++i) Create<IUpdateItem>(CLSID_UpdateItem);
  });
  return f;
}

double Us(double seconds, size_t n) { return seconds * 1e6 / double(n); }

}  // namespace

int main() {
  char pattern[] = "/tmp/qxnet-bench-update-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) return 1;
  const fs::path root(made);
  setenv("QXNET_REGISTRY", (root / "registry.db").c_str(), 1);
  if (DllRegisterServer() != S_OK) {
    std::fprintf(stderr, "cannot register the module\n");
    return 1;
  }

  const Figures small = Measure(root, 2000);
  const Figures large = Measure(root, 20000);

  std::printf("update pass, time per item in microseconds (best of 3)\n");
  std::printf("%-34s %10s %10s %14s %14s\n", "", "N=2000", "N=20000", "growth 20k/2k",
              "vs pugixml@20k");
  auto row = [&](const char* name, double a, double b, double peerB) {
    std::printf("%-34s %10.2f %10.2f %14.2f %14.2f\n", name, Us(a, small.n), Us(b, large.n),
                Us(b, large.n) / Us(a, small.n), peerB > 0 ? b / peerB : 0.0);
  };
  row("bare pugixml load of the feed", small.pugiFeed, large.pugiFeed, 0);
  row("UpdateDocument.Parse", small.parse, large.parse, large.pugiFeed);
  row("bare pugixml load of the catalog", small.pugiCatalogLoad, large.pugiCatalogLoad, 0);
  row("bare pugixml load+save of catalog", small.pugiCatalogLoadSave, large.pugiCatalogLoadSave,
      0);
  row("UpdateCatalog.Save (vs load+save)", small.save, large.save, large.pugiCatalogLoadSave);
  row("UpdateCatalog.Load (vs load)", small.load, large.load, large.pugiCatalogLoad);
  row("Reconcile N-item feed (vs feed load)", small.reconcile, large.reconcile, large.pugiFeed);
  row("CoCreateInstance of one UpdateItem", small.create, large.create, 0);
  std::printf("ratios at N=2000: Parse %.2f, Save %.2f, Load %.2f, Reconcile %.2f\n",
              small.parse / small.pugiFeed, small.save / small.pugiCatalogLoadSave,
              small.load / small.pugiCatalogLoad, small.reconcile / small.pugiFeed);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
