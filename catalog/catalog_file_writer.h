// Writes the catalog file: the catalog's values and its three item lists as
// one XML document, with CR LF line breaks and indentation as text nodes.
#pragma once

#include <string_view>

#include "catalog/catalog_values.h"
#include "catalog/failure_report.h"
#include "qxnet/qxnetlib.h"

namespace qx::catalog {

// Builds the whole document from `values` and the lists that `catalog`'s own
// getters hand out, then replaces `fileName` atomically: a failure at any
// point leaves the previous file byte for byte. A new file is readable by
// its owner only (it holds the password); an existing file keeps its mode.
HRESULT SaveCatalogFile(std::u16string_view fileName, const CatalogValues& values,
                        IUpdateCatalog& catalog, const FailureReport& report);

}  // namespace qx::catalog
