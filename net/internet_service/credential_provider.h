// The credential provider that stands in for the authentication dialog:
// a netrc entry for the host first, then the prompt the host program
// installed. It never hands out credentials already offered for the request.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "net/internet_service/internet_service.h"

namespace qx::inet {

// The netrc entry ($NETRC, else $HOME/.netrc) for `host` (compared without
// regard to case), else its "default" entry.
std::optional<Credentials> LookUpNetrc(const std::string& host);

// Credentials for `query` not in `offered`; adds them to `offered`.
std::optional<Credentials> NextCredentials(const CredentialQuery& query,
                                           std::vector<Credentials>& offered);

}  // namespace qx::inet
