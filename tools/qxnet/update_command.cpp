// qxnet update --catalog FILE [--feed URL] [--interval DAYS] [--force]
// qxnet update --catalog FILE install|discard|pending GUID...
// qxnet update --catalog FILE install GUID... --download DIR
#include <cstdio>
#include <memory>

#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/update_session.h"
#include "tools/qxnet/variant_text.h"
#include "tools/qxnet/verified_install.h"

namespace qxcli {

namespace {

struct UpdateArgs {
  std::string catalog;
  std::string feed;
  long interval = 0;
  bool force = false;
  std::string action;
  std::vector<std::string> guids;
  std::string download;  // install only after download and verification
};

Move MoveOf(const std::string& action) {
  if (action == "install") return Move::Install;
  if (action == "discard") return Move::Discard;
  if (action == "pending") return Move::Pending;
  throw UsageError("Unknown action '" + action + "' (install, discard or pending)");
}

void RunMoves(const GlobalOptions& options, const UpdateArgs& args) {
  if (args.guids.empty()) throw UsageError("Name at least one item guid to " + args.action);
  const Move move = MoveOf(args.action);
  UpdateSession session(args.catalog, true);
  nlohmann::json downloads = nlohmann::json::array();
  if (args.download.empty()) {
    session.MoveItems(move, args.guids);
  } else {
    if (move != Move::Install) throw UsageError("--download belongs to install");
    ProgressDisplay display(stderr, options.no_progress ? ProgressDisplay::Mode::Off
                                                        : ProgressDisplay::ModeFor(stderr));
    for (const std::string& guid : args.guids) {
      const VerifiedDownload done = InstallVerified(session, guid, args.download, display);
      if (!options.json) std::printf("Verified %s\n", done.file.c_str());
      downloads.push_back({{"guid", guid}, {"url", done.url}, {"file", done.file}});
    }
  }
  const qx::ComPtr<IUpdateItems> rows = session.AllItems();
  if (options.json) {
    nlohmann::json document = {
        {"catalog", session.CatalogFile()}, {"moved", args.guids}, {"to", StatusOf(move)}};
    if (!args.download.empty()) document["downloads"] = downloads;
    PrintJsonWithItems(std::move(document), rows.Get());
    return;
  }
  std::printf("%s: %zu item(s) -> %s\n\n", session.CatalogFile().c_str(), args.guids.size(),
              StatusOf(move));
  PrintTable(stdout, rows.Get());
}

void RunPass(const GlobalOptions& options, const UpdateArgs& args, bool interval_given) {
  UpdateSession session(args.catalog, false);
  UpdatePassRequest request;
  request.feed_url = args.feed;
  if (interval_given) request.interval = args.interval;
  request.force = args.force;
  ProgressDisplay display(stderr, ProgressMode(options));
  const UpdatePassReport report = session.RunPass(request, display);
  const qx::ComPtr<IUpdateItems> rows = session.AllItems();
  if (options.json) {
    nlohmann::json document = {{"catalog", session.CatalogFile()},
                               {"newCatalog", !session.Loaded()},
                               {"feed", report.feed_url},
                               {"checked", report.checked},
                               {"added", report.added},
                               {"nextCheck", DateJsonText(report.next_check)}};
    if (report.checked) document["feedFile"] = report.feed_file;
    if (!report.checked) document["reason"] = report.not_checked_because;
    PrintJsonWithItems(std::move(document), rows.Get());
    return;
  }
  std::printf("Catalog:    %s%s\n", session.CatalogFile().c_str(),
              session.Loaded() ? "" : " (new)");
  std::printf("Feed:       %s\n", report.feed_url.c_str());
  if (report.checked)
    std::printf("Checked:    %ld new item(s) pending\n", report.added);
  else
    std::printf("Not checked: %s (use --force to check now)\n", report.not_checked_because.c_str());
  std::printf("Next check: %s\n\n", DateText(report.next_check).c_str());
  PrintTable(stdout, rows.Get());
}

}  // namespace

void AddUpdateCommand(CLI::App& app, const GlobalOptions& options) {
  auto args = std::make_shared<UpdateArgs>();
  auto* command = app.add_subcommand(
      "update",
      "Run an update pass on a catalog (download the feed, add new items as pending), or move "
      "items between the catalog's lists");
  command->add_option("--catalog", args->catalog, "The catalog file (created on the first pass)")
      ->required();
  command->add_option("--feed", args->feed, "Address of the update feed (kept in the catalog)");
  auto* interval = command->add_option("--interval", args->interval,
                                       "Days between checks (kept in the catalog)");
  command->add_flag("--force", args->force, "Check now, even when not due or switched off");
  command->add_option("ACTION", args->action, "install, discard or pending: move the items")
      ->check(CLI::IsMember({"install", "discard", "pending"}));
  command->add_option("GUID", args->guids, "Guids of the items to move");
  command->add_option("--download", args->download,
                      "With install: download each item's payload into this folder and install "
                      "it only when its length, SHA-256 and signature verify");
  command->footer(
      "Examples:\n"
      "  qxnet update --catalog ~/corvane-catalog.xml --feed https://example.com/feed.xml\n"
      "  qxnet update --catalog ~/corvane-catalog.xml install corvane-11.0.8\n"
      "  qxnet update --catalog ~/corvane-catalog.xml install corvane-11.0.8 --download "
      "~/Downloads\n");
  command->callback([&options, args, interval] {
    if (!args->action.empty()) {
      if (!args->feed.empty() || interval->count() > 0 || args->force)
        throw UsageError("--feed, --interval and --force belong to the update pass, not to " +
                         args->action);
      RunMoves(options, *args);
    } else {
      if (!args->download.empty()) throw UsageError("--download belongs to install");
      RunPass(options, *args, interval->count() > 0);
    }
  });
}

}  // namespace qxcli
