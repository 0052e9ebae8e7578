// Whether a file is the payload a feed item describes: first its length,
// then its SHA-256, then (with a product key) its Ed25519 signature. The
// feed's values are checked for form before the file is read, so that a
// malformed one is reported by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "feed/enclosure.h"

namespace qx::feed {

// The first check that fails, as a message for the user, or none when the
// file passes them all. `publicKey` is the 32-byte key, or empty when the
// product has none: then the SHA-256 is required instead of a signature.
std::optional<std::string> CheckPayload(const Enclosure& feed, std::string_view publicKey,
                                        const std::string& path);

}  // namespace qx::feed
