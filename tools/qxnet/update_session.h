// One update pass over a catalog file, and the moves between its lists:
// the flow a product runs to update itself, driven through the library's
// objects (UpdateCatalog, QXNet, UpdateDocument, UpdateWorkUnit).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "tools/qxnet/catalog_table.h"
#include "tools/qxnet/progress_display.h"

namespace qxcli {

struct UpdatePassRequest {
  std::string feed_url;          // empty: the catalog's own feedUrl
  std::optional<long> interval;  // days between checks
  bool force = false;            // check even when not due or switched off
};

struct UpdatePassReport {
  bool checked = false;
  std::string not_checked_because;  // when not checked
  long added = 0;                   // items that became pending
  std::string feed_url;
  std::string feed_file;  // the downloaded copy of the feed
  DATE next_check = 0;
};

enum class Move { Install, Discard, Pending };

class UpdateSession {
 public:
  // Creates the catalog object for `catalog_file` and loads the file when it
  // exists. With `must_exist`, a missing file is a usage error.
  UpdateSession(std::string catalog_file, bool must_exist);

  bool Loaded() const { return loaded_; }
  const std::string& CatalogFile() const { return file_; }
  IUpdateCatalog* Catalog() const { return catalog_.Get(); }

  // Checks the schedule, downloads and parses the feed, reconciles, stamps
  // the check date and saves the catalog.
  UpdatePassReport RunPass(const UpdatePassRequest& request, ProgressDisplay& display);

  // Moves the items with these guids (any letter case) to the list of
  // `move`, sets their status to match, and saves. Throws CallFailed for a
  // guid the catalog does not know (nothing is saved then).
  void MoveItems(Move move, const std::vector<std::string>& guids);

  // The item with this guid (any letter case); throws CallFailed when the
  // catalog has none.
  qx::ComPtr<IUpdateItem> FindItem(const std::string& guid);

  // Every item the catalog knows, sorted by date (the work unit's view).
  qx::ComPtr<IUpdateItems> AllItems();

  void Save();

 private:
  qx::ComPtr<IUpdateWorkUnit> NewWorkUnit();
  static qx::ComPtr<IUpdateItem> FindItem(IUpdateWorkUnit* unit, const std::string& guid);

  std::string file_;
  bool loaded_ = false;
  qx::ComPtr<IUpdateCatalog> catalog_;
  qx::ComPtr<IUpdateDocument> document_;
};

const char* StatusOf(Move move);

}  // namespace qxcli
