// Where the machine-wide cache settings live in the registry.
#pragma once

namespace qx::net {

// The key holding the machine-wide cache settings.
inline constexpr char16_t kCacheSettingsKey[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";

}  // namespace qx::net
