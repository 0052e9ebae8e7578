// Reads the catalog file back into a catalog: its values, then the items of
// its not-installed, discarded and installed lists.
#pragma once

#include <string>
#include <string_view>

#include "catalog/catalog_values.h"
#include "catalog/failure_report.h"
#include "qxnet/qxnetlib.h"

namespace qx::xml {
class Node;
}

namespace qx::catalog {

// Loads `fileName` into `values` and into the lists that `catalog`'s own
// getters hand out (appending to them). Values are stored as they are read,
// so a failure after the catalog element was found keeps what was read.
HRESULT LoadCatalogFile(std::u16string_view fileName, CatalogValues& values,
                        IUpdateCatalog& catalog, const FailureReport& report);

// The text of the first child element `name` of `parent`, at most
// feed::kMaxValueLength code units; empty when absent or unreadable.
std::u16string ChildValue(const xml::Node& parent, std::u16string_view name);

// The leading decimal integer of a text: leading blanks and a sign are
// accepted, reading stops at the first other character, no digits give 0,
// and a number outside the 32-bit range gives the nearest 32-bit value.
LONG LeadingInteger(std::u16string_view text);

}  // namespace qx::catalog
