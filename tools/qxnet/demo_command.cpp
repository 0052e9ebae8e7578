// qxnet demo: the whole update flow on the bundled samples, end to end.
//
// Serves the sample feed and update file on 127.0.0.1, registers the module
// into a temporary registry when the classes are not registered, runs an
// update pass into a new catalog, downloads the newest pending item's
// payload with the progress bar, verifies it against the demo's public key,
// moves it to the installed list and shows the result. The internet cache of
// the run is a folder of the demo's work folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/demo_server.h"
#include "tools/qxnet/module_location.h"
#include "tools/qxnet/module_registration.h"
#include "tools/qxnet/object_creation.h"
#include "tools/qxnet/sample_files.h"
#include "tools/qxnet/update_session.h"
#include "tools/qxnet/verified_install.h"

namespace qxcli {

namespace {

// A new folder under the temporary directory for the demo's files; it is
// kept afterwards so that the files can be looked at.
std::string MakeWorkFolder() {
  std::string pattern = TemporaryDirectory() + "/qxnet-demo-XXXXXX";
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("Unable to create a folder under " + TemporaryDirectory());
  return pattern;
}

bool ClassLookupFails(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x80040154u:  // REGDB_E_CLASSNOTREG
    case 0x800401F3u:  // CO_E_CLASSSTRING
    case 0x800401F8u:  // CO_E_DLLNOTFOUND
    case 0x800401F9u:  // CO_E_ERRORINDLL
      return true;
    default:
      return false;
  }
}

// Registers the module into a registry of the work folder when the classes
// cannot be found through the current one. Returns the registry in use.
std::string EnsureRegistered(const std::string& folder, bool* temporary) {
  qx::ComPtr<IUnknown> probe;
  const HRESULT hr = TryCreate("QXNet.UpdateCatalog", IID_IUnknown, probe.PutVoid());
  probe = nullptr;
  *temporary = ClassLookupFails(hr);
  if (*temporary) {
    const std::string registry = folder + "/registry.db";
    setenv("QXNET_REGISTRY", registry.c_str(), 1);
    RegisterModule(DefaultModulePath());
  }
  return RegistryLocation();
}

// The public half of the key the bundled feed is signed with.
std::string DemoPublicKey() {
  std::string key(SampleContent("demo-public-key.txt"));
  while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
  return key;
}

void Say(const GlobalOptions& options, const char* format, const std::string& text) {
  if (!options.json) std::printf(format, text.c_str());
  std::fflush(stdout);
}

}  // namespace

void AddDemoCommand(CLI::App& app, const GlobalOptions& options) {
  auto* command = app.add_subcommand(
      "demo", "Run an update pass with a download on the bundled sample feed, served on loopback");
  command->callback([&options] {
    const std::string folder = MakeWorkFolder();
    // The demo's downloads stay in its folder, out of the user's cache.
    const std::string cache = folder + "/inetcache";
    setenv("QXNET_CACHE_DIR", cache.c_str(), 1);
    bool temporary_registry = false;
    const std::string registry = EnsureRegistered(folder, &temporary_registry);
    if (temporary_registry)
      Say(options, "Registered the module into a temporary registry: %s\n", registry);

    DemoServer server;
    Say(options, "Serving the sample feed at %s\n", server.FeedUrl());

    ProgressDisplay display(stderr, ProgressMode(options));
    UpdateSession session(folder + "/catalog.xml", false);
    UpdatePassRequest request;
    request.feed_url = server.FeedUrl();
    request.force = true;
    Say(options, "Update pass into the new catalog %s\n", session.CatalogFile());
    const UpdatePassReport report = session.RunPass(request, display);
    Say(options, "%s\n", std::to_string(report.added) + " new item(s) pending");

    // The newest pending item (the work unit lists items oldest first).
    ItemRow chosen;
    bool any_pending = false;
    ForEachRow(session.AllItems().Get(), [&](const ItemRow& row) {
      if (row.status != "Pending") return;
      chosen = row;
      any_pending = true;
    });
    if (!any_pending) throw CallFailed(E_FAIL, "The sample feed gave no pending item");

    const std::string downloads = folder + "/downloads";
    std::filesystem::create_directories(downloads);
    Say(options, "Downloading the newest pending item: %s\n", chosen.title);
    const std::string downloaded =
        DownloadVerified(session, chosen.guid, downloads, DemoPublicKey(), display).file;
    Say(options, "Verified its length, SHA-256 and signature: %s\n", downloaded);
    session.MoveItems(Move::Install, {chosen.guid});
    const qx::ComPtr<IUpdateItems> rows = session.AllItems();
    const std::string trace_log = TemporaryDirectory() + "/qxinternet.log";

    if (options.json) {
      PrintJsonWithItems({{"feed", server.FeedUrl()},
                          {"added", report.added},
                          {"installed", chosen.guid},
                          {"files",
                           {{"folder", folder},
                            {"catalog", session.CatalogFile()},
                            {"download", downloaded},
                            {"feedCopy", report.feed_file},
                            {"registry", registry},
                            {"cache", cache},
                            {"traceLog", trace_log}}}},
                         rows.Get());
      return;
    }
    std::printf("Installed %s\n\n", chosen.guid.c_str());
    PrintTable(stdout, rows.Get());
    std::printf("\nFiles:\n");
    std::printf("  catalog        %s\n", session.CatalogFile().c_str());
    std::printf("  download       %s\n", downloaded.c_str());
    std::printf("  feed (cached)  %s\n", report.feed_file.c_str());
    std::printf("  registry       %s%s\n", registry.c_str(),
                temporary_registry ? " (temporary)" : "");
    std::printf("  cache          %s\n", cache.c_str());
    std::printf("  trace log      %s\n", trace_log.c_str());
  });
}

}  // namespace qxcli
