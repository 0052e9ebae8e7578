// Folds a parsed update document into a catalog's lists: every feed item
// whose guid none of the lists knows, and which was not published before the
// catalog's publish date, joins the not-installed list as "Pending". The
// document's own item object is appended, so the document's channel and the
// catalog then hold the same item.
#pragma once

#include "catalog/failure_report.h"
#include "qxnet/qxnetlib.h"

namespace qx::catalog {

struct CatalogLists {
  IUpdateItems* notInstalled;
  IUpdateItems* installed;
  IUpdateItems* discarded;
};

// Whether a feed item is wanted under the catalog's publish date: only an
// item with a known date earlier than a set publish date is not.
bool IsWantedByPublishDate(DATE itemPubDate, DATE catalogPublishDate);

HRESULT ReconcileDocument(IUpdateDocument& doc, const CatalogLists& lists, DATE catalogPublishDate,
                          const FailureReport& report);

}  // namespace qx::catalog
