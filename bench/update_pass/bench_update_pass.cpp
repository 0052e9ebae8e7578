// One update pass at three sizes, N = 2,000, 20,000 and 200,000 items:
//   - Parse of a feed with N items in one channel,
//   - Save and Load of a catalog holding N items,
//   - reconciliation of an N-item feed (half known, half new) with it,
// each printed as time per item, as the ratio to a bare pugixml load (and,
// for Save, load plus save) of the same file, and as the growth of the
// per-item time from 2,000 to 200,000 items (near 1 means linear). Every
// figure, pugixml's included, is the best of three rounds after one
// discarded round, so both sides run on warm memory and caches.
//
// Objects are created through CoCreateInstance after the module is
// registered into a temporary registry, as every client creates them; the
// cost of creation by ProgID, by class identifier and through a held class
// factory is printed last.
#include <malloc.h>
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
#include "platform/registry/registry_store.h"
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

// Best of `rounds` runs of `body`, in seconds, after one discarded run;
// `prepare` runs untimed before each.
double BestOf(int rounds, const std::function<void()>& prepare, const std::function<void()>& body) {
  prepare();
  body();
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
  return BestOf(
      3, [] {},
      [&] {
        pugi::xml_document doc;
        if (!doc.load_file(path.c_str())) std::exit(1);
      });
}

double PugiLoadSave(const fs::path& path, const fs::path& copy) {
  return BestOf(
      3, [] {},
      [&] {
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
  f.parse = BestOf(
      3, [] {}, [&] { Parse(feed); });

  // A catalog holding the n items of the first feed.
  qx::ComPtr<IUpdateCatalog> catalog;
  const qx::BStr catalogName = qx::BStr::FromUtf8(catalogFile.string());
  auto fill = [&] {
    catalog = Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    catalog->put_fileName(catalogName.Get());
    Check(catalog->ReconcileWithUpdateDocument(Parse(feed).Get()), "Reconcile");
  };
  fill();
  f.save = BestOf(
      3, [] {}, [&] { Check(catalog->Save(), "Save"); });
  f.pugiCatalogLoad = PugiLoad(catalogFile);
  f.pugiCatalogLoadSave = PugiLoadSave(catalogFile, dir / "pugi-copy.xml");
  f.load = BestOf(
      3, [] {},
      [&] {
        auto fresh = Create<IUpdateCatalog>(CLSID_UpdateCatalog);
        fresh->put_fileName(catalogName.Get());
        Check(fresh->Load(), "Load");
      });

  qx::ComPtr<IUpdateDocument> doc;
  f.reconcile = BestOf(
      3,
      [&] {
        fill();
        doc = Parse(second);
      },
      [&] { Check(catalog->ReconcileWithUpdateDocument(doc.Get()), "Reconcile"); });
  LONG count = 0;
  qx::ComPtr<IUpdateItems> pending;
  catalog->get_NotInstalledItems(pending.Put());
  pending->get_Count(&count);
  if (static_cast<size_t>(count) != n + n / 2) {
    std::fprintf(stderr, "reconciliation gave %d items, expected %zu\n", count, n + n / 2);
    std::exit(1);
  }

  return f;
}

// Creation of one object in microseconds: by ProgID, by class identifier,
// and through a held class factory (the lower bound of both).
struct CreationFigures {
  double byProgId, byClassId, byFactory;
};

CreationFigures MeasureCreation() {
  constexpr int kObjects = 20000;
  CreationFigures f{};
  auto perObject = [&](const std::function<void()>& createOne) {
    return BestOf(
               3, [] {},
               [&] {
                 for (int i = 0; i < kObjects; ++i) createOne();
               }) *
           1e6 / kObjects;
  };
  f.byProgId = perObject([] {
    CLSID clsid;
    Check(CLSIDFromProgID(u"QXNet.UpdateItem", &clsid), "CLSIDFromProgID");
    Create<IUpdateItem>(clsid);
  });
  f.byClassId = perObject([] { Create<IUpdateItem>(CLSID_UpdateItem); });
  qx::ComPtr<IClassFactory> factory;
  Check(CoGetClassObject(CLSID_UpdateItem, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                         factory.PutVoid()),
        "CoGetClassObject");
  f.byFactory = perObject([&] {
    qx::ComPtr<IUpdateItem> item;
    Check(factory->CreateInstance(nullptr, IID_IUpdateItem, item.PutVoid()), "CreateInstance");
  });
  return f;
}

double Us(double seconds, size_t n) { return seconds * 1e6 / double(n); }

}  // namespace

int main() {
  // Freed memory stays with the process, so that the rounds after the
  // discarded one run on warm memory on both sides: by default glibc
  // returns large blocks to the system, and every round then pays for
  // page faults again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  char pattern[] = "/tmp/qxnet-bench-update-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) return 1;
  const fs::path root(made);
  setenv("QXNET_REGISTRY", (root / "registry.db").c_str(), 1);
  setenv("QXNET_SYSTEM_REGISTRY", (root / "system-registry.db").c_str(), 1);
  if (DllRegisterServer() != S_OK) {
    std::fprintf(stderr, "cannot register the module\n");
    return 1;
  }
  // Both databases exist, as on an installed system (where a missing one
  // costs a look at the file system in every class lookup).
  if (qx::registry::WriteDword(HKEY_LOCAL_MACHINE, u"Software\\Corvane", u"Installed", 1) !=
      ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot write the machine's registry\n");
    return 1;
  }

  // The largest feed is larger than the default limit on feed and catalog
  // files.
  setenv("QXNET_UPDATE_FILE_LIMIT", "1G", 1);

  const Figures sizes[] = {Measure(root, 2000), Measure(root, 20000), Measure(root, 200000)};
  const Figures& small = sizes[0];
  const Figures& large = sizes[2];

  std::printf("update pass, time per item in microseconds (best of 3 after a discarded round)\n");
  std::printf("%-36s %9s %9s %9s %12s\n", "", "N=2000", "N=20000", "N=200000", "growth 200k/2k");
  auto row = [&](const char* name, double Figures::*field) {
    std::printf("%-36s", name);
    for (const Figures& f : sizes) std::printf(" %9.3f", Us(f.*field, f.n));
    std::printf(" %12.2f\n", Us(large.*field, large.n) / Us(small.*field, small.n));
  };
  row("bare pugixml load of the feed", &Figures::pugiFeed);
  row("bare pugixml load of the catalog", &Figures::pugiCatalogLoad);
  row("bare pugixml load+save of catalog", &Figures::pugiCatalogLoadSave);
  row("UpdateDocument.Parse", &Figures::parse);
  row("UpdateCatalog.Load", &Figures::load);
  row("UpdateCatalog.Save", &Figures::save);
  row("Reconcile N-item feed", &Figures::reconcile);

  std::printf("\nratio to warm pugixml on the same file\n");
  std::printf("%-36s %9s %9s %9s\n", "", "N=2000", "N=20000", "N=200000");
  auto ratio = [&](const char* name, double Figures::*ours, double Figures::*peer) {
    std::printf("%-36s", name);
    for (const Figures& f : sizes) std::printf(" %9.2f", f.*ours / f.*peer);
    std::printf("\n");
  };
  ratio("Parse / load of the feed", &Figures::parse, &Figures::pugiFeed);
  ratio("Load / load of the catalog", &Figures::load, &Figures::pugiCatalogLoad);
  ratio("Save / load+save of the catalog", &Figures::save, &Figures::pugiCatalogLoadSave);
  ratio("Reconcile / load of the feed", &Figures::reconcile, &Figures::pugiFeed);

  const CreationFigures creation = MeasureCreation();
  std::printf("\ncreation of one UpdateItem in microseconds (best of 3 after a discarded round)\n");
  std::printf("%-36s %9.3f\n", "CLSIDFromProgID + CoCreateInstance", creation.byProgId);
  std::printf("%-36s %9.3f\n", "CoCreateInstance by class identifier", creation.byClassId);
  std::printf("%-36s %9.3f\n", "held class factory's CreateInstance", creation.byFactory);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
