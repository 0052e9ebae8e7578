#include "tools/qxnet/update_session.h"

#include <strings.h>

#include <filesystem>

#include "qxnet/bstr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/object_creation.h"
#include "tools/qxnet/transfer.h"
#include "tools/qxnet/variant_text.h"

namespace qxcli {

const char* StatusOf(Move move) {
  switch (move) {
    case Move::Install:
      return "Installed";
    case Move::Discard:
      return "Discarded";
    case Move::Pending:
      return "Pending";
  }
  return "";
}

UpdateSession::UpdateSession(std::string catalog_file, bool must_exist)
    : file_(std::move(catalog_file)) {
  std::error_code error;
  const bool exists = std::filesystem::exists(file_, error);
  if (must_exist && !exists) throw UsageError("No catalog file at " + file_);
  // The catalog keeps the name it is given; make it absolute so that the
  // file written is the one named here whatever the library does with it.
  const std::string absolute = std::filesystem::absolute(file_, error).string();
  if (!error) file_ = absolute;
  catalog_ = Create<IUpdateCatalog>("QXNet.UpdateCatalog");
  qx::BStr name = qx::BStr::FromUtf8(file_);
  Call("Setting the catalog's fileName", [&] { return catalog_->put_fileName(name.Get()); });
  if (exists) {
    Call("Loading the catalog", [&] { return catalog_->Load(); });
    loaded_ = true;
  }
}

UpdatePassReport UpdateSession::RunPass(const UpdatePassRequest& request,
                                        ProgressDisplay& display) {
  UpdatePassReport report;
  if (!request.feed_url.empty()) {
    qx::BStr url = qx::BStr::FromUtf8(request.feed_url);
    Call("Setting feedUrl", [&] { return catalog_->put_feedUrl(url.Get()); });
  }
  if (request.interval) {
    Call("Setting checkInterval",
         [&] { return catalog_->put_checkInterval(static_cast<LONG>(*request.interval)); });
  }
  qx::BStr feed;
  Call("Reading feedUrl", [&] { return catalog_->get_feedUrl(feed.Put()); });
  report.feed_url = feed.Utf8();
  if (report.feed_url.empty()) throw UsageError("The catalog has no feed address: give --feed URL");

  VARIANT_BOOL enabled = VARIANT_TRUE, due = VARIANT_TRUE;
  Call("Reading shouldUpdate", [&] { return catalog_->get_shouldUpdate(&enabled); });
  Call("Reading timeToCheck", [&] { return catalog_->get_timeToCheck(&due); });
  if (!request.force && enabled != VARIANT_TRUE) {
    report.not_checked_because = "updating is switched off in this catalog (shouldUpdate)";
  } else if (!request.force && loaded_ && due != VARIANT_TRUE) {
    // A catalog that was never saved has never been checked: it is due
    // whatever its interval says.
    DATE next = 0;
    Call("Reading nextCheckDate", [&] { return catalog_->get_nextCheckDate(&next); });
    report.not_checked_because = "not due before " + DateText(next);
  }

  if (report.not_checked_because.empty()) {
    auto net = Create<_QXNet>("QXNet.QXNet");
    report.feed_file = RetrieveWithProgress(net.Get(), report.feed_url, "", display);
    document_ = Create<IUpdateDocument>("QXNet.UpdateDocument");
    qx::BStr feed_file = qx::BStr::FromUtf8(report.feed_file);
    Call("Parsing the feed", [&] { return document_->Parse(feed_file.Get()); });

    qx::ComPtr<IUpdateItems> pending;
    Call("NotInstalledItems", [&] { return catalog_->get_NotInstalledItems(pending.Put()); });
    LONG before = 0, after = 0;
    Call("Count", [&] { return pending->get_Count(&before); });
    Call("Reconciling the catalog with the feed",
         [&] { return catalog_->ReconcileWithUpdateDocument(document_.Get()); });
    Call("Count", [&] { return pending->get_Count(&after); });
    report.added = after - before;
    Call("UpdateLastCheckDate", [&] { return catalog_->UpdateLastCheckDate(); });
    report.checked = true;
  }
  Call("Reading nextCheckDate", [&] { return catalog_->get_nextCheckDate(&report.next_check); });
  Save();
  return report;
}

qx::ComPtr<IUpdateWorkUnit> UpdateSession::NewWorkUnit() {
  auto unit = Create<IUpdateWorkUnit>("QXNet.UpdateWorkUnit");
  Call("Setting the work unit's catalog", [&] { return unit->put_catalog(catalog_.Get()); });
  if (document_)
    Call("Setting the work unit's document",
         [&] { return unit->put_UpdateDocument(document_.Get()); });
  return unit;
}

qx::ComPtr<IUpdateItems> UpdateSession::AllItems() {
  auto unit = NewWorkUnit();
  qx::ComPtr<IUpdateItems> all;
  Call("allItems", [&] { return unit->get_allItems(all.Put()); });
  return all;
}

qx::ComPtr<IUpdateItem> UpdateSession::FindItem(IUpdateWorkUnit* unit, const std::string& guid) {
  qx::ComPtr<IUpdateItems> all;
  Call("allItems", [&] { return unit->get_allItems(all.Put()); });
  qx::ComPtr<IUpdateItem> found;
  ForEachItem(all.Get(), [&](IUpdateItem* item) {
    qx::BStr item_guid;
    Call("guid", [&] { return item->get_guid(item_guid.Put()); });
    if (strcasecmp(item_guid.Utf8().c_str(), guid.c_str()) != 0) return true;
    found = qx::ComPtr<IUpdateItem>(item);
    return false;
  });
  if (found) return found;
  throw CallFailed(E_INVALIDARG, "The catalog has no item with guid " + guid);
}

qx::ComPtr<IUpdateItem> UpdateSession::FindItem(const std::string& guid) {
  return FindItem(NewWorkUnit().Get(), guid);
}

void UpdateSession::MoveItems(Move move, const std::vector<std::string>& guids) {
  auto unit = NewWorkUnit();
  // Find every item first, so that an unknown guid changes nothing.
  std::vector<qx::ComPtr<IUpdateItem>> chosen;
  chosen.reserve(guids.size());
  for (const std::string& guid : guids) chosen.push_back(FindItem(unit.Get(), guid));
  qx::BStr status = qx::BStr::FromUtf8(StatusOf(move));
  for (const auto& item : chosen) {
    Call("Moving the item", [&] {
      switch (move) {
        case Move::Install:
          return unit->MoveToInstalled(item.Get());
        case Move::Discard:
          return unit->MoveToDiscarded(item.Get());
        case Move::Pending:
          return unit->MoveToPending(item.Get());
      }
      return E_UNEXPECTED;
    });
    // The lists stand for the status; keep the item's own status in step.
    Call("Setting status", [&] { return item->put_status(status.Get()); });
  }
  Save();
}

void UpdateSession::Save() {
  Call("Saving the catalog", [&] { return catalog_->Save(); });
}

}  // namespace qxcli
