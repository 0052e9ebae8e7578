// Downloading an item's payload and installing it only once it verifies:
// the file is fetched under a temporary name in the download folder,
// checked by UpdateVerifier (length, SHA-256, signature under the product's
// key), and only then given its name and the item moved to the installed
// list. On any failure the temporary file is removed and the item stays in
// its list.
#pragma once

#include <string>

#include "tools/qxnet/progress_display.h"
#include "tools/qxnet/update_session.h"

namespace qxcli {

struct VerifiedDownload {
  std::string file;  // the verified payload in the download folder
  std::string url;
};

// The payload's file name from its address: the last path segment without
// query or fragment; "update.bin" when that is empty or unusable as a name.
std::string FileNameOfLink(const std::string& link);

// Downloads and verifies the payload of the item `guid` into `folder`.
// `public_key` (Base64) overrides the product's key when not empty. Throws
// CallFailed naming the failed check, leaving nothing in `folder`.
VerifiedDownload DownloadVerified(UpdateSession& session, const std::string& guid,
                                  const std::string& folder, const std::string& public_key,
                                  ProgressDisplay& display);

// DownloadVerified, then the move to the installed list (and the save).
VerifiedDownload InstallVerified(UpdateSession& session, const std::string& guid,
                                 const std::string& folder, ProgressDisplay& display);

}  // namespace qxcli
