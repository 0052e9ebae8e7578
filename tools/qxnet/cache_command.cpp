// qxnet cache list | remove URL | clear | info: the internet cache as the
// library keeps it (committed entries and partial downloads).
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <vector>

#include "net/cache/cache_limit.h"
#include "net/internet_service/internet_service.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/internet_service/url_cache_index.h"
#include "qxnet/text.h"
#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/commands.h"

namespace qxcli {

namespace {

namespace inet = qx::inet;

// The cache's own message for its last failure.
[[noreturn]] void ThrowCacheFailure(const std::string& what) {
  const std::string reason = qx::Utf16ToUtf8(inet::GetErrorMessage(inet::GetLastError()));
  throw std::runtime_error(what + (reason.empty() ? "" : ": " + reason));
}

std::vector<inet::CacheListing> Listing() {
  std::vector<inet::CacheListing> listing;
  if (!inet::ListUrlCache(listing)) ThrowCacheFailure("Unable to read the internet cache");
  return listing;
}

// "2015-10-21 07:28:00" (UTC) for FILETIME ticks; empty for none.
std::string TimeText(int64_t ticks) {
  constexpr int64_t kUnixEpochTicks = 116444736000000000;
  if (ticks <= kUnixEpochTicks) return std::string();
  const std::time_t seconds = static_cast<std::time_t>((ticks - kUnixEpochTicks) / 10'000'000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

// The URL as the cache keys it.
std::string CanonicalUrl(const std::string& url) {
  const std::u16string given = qx::Utf8ToUtf16(url);
  std::vector<char16_t> buffer(given.size() * 3 + 64);
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!inet::InternetCanonicalizeUrlW(given.c_str(), buffer.data(), &length, 0)) {
    throw UsageError("Not a URL: " + url);
  }
  return qx::Utf16ToUtf8(std::u16string_view(buffer.data(), length));
}

void AddList(CLI::App& cache, const GlobalOptions& options) {
  auto* command = cache.add_subcommand(
      "list", "List the cached URLs with size, last modified, last used and file");
  command->callback([&options] {
    const std::vector<inet::CacheListing> listing = Listing();
    if (options.json) {
      nlohmann::json entries = nlohmann::json::array();
      for (const auto& entry : listing) {
        entries.push_back({{"url", entry.url},
                           {"size", entry.size},
                           {"last_modified", TimeText(entry.lastModified)},
                           {"last_used", TimeText(entry.lastAccess)},
                           {"file", entry.path},
                           {"partial", entry.partial}});
      }
      PrintJson({{"entries", entries}});
      return;
    }
    for (const auto& entry : listing) {
      const std::string modified =
          entry.partial ? "(partial download)" : TimeText(entry.lastModified);
      std::printf("%s\n  size %" PRId64 ", last modified %s, last used %s\n  %s\n",
                  entry.url.c_str(), entry.size, modified.c_str(),
                  TimeText(entry.lastAccess).c_str(), entry.path.c_str());
    }
  });
}

void AddRemove(CLI::App& cache, const GlobalOptions& options) {
  auto url = std::make_shared<std::string>();
  auto* command =
      cache.add_subcommand("remove", "Remove a URL's copy (and any partial download of it)");
  command->add_option("URL", *url, "Address whose copy to remove")->required();
  command->callback([&options, url] {
    const std::string canonical = CanonicalUrl(*url);
    size_t removed = 0;
    for (const auto& entry : Listing()) {
      if (entry.url != canonical) continue;
      if (entry.partial) {
        if (inet::IsFileBeingWritten(entry.path)) {
          throw std::runtime_error("Another process is downloading " + entry.url);
        }
        inet::DropPartialDownload(entry.url, entry.path);
      } else if (!inet::DeleteUrlCacheEntryW(qx::Utf8ToUtf16(entry.url).c_str())) {
        ThrowCacheFailure("Unable to remove " + entry.url);
      }
      ++removed;
    }
    if (removed == 0) throw std::runtime_error("Not in the internet cache: " + canonical);
    if (options.json)
      PrintJson({{"url", canonical}, {"removed", removed}});
    else
      std::printf("Removed %s\n", canonical.c_str());
  });
}

void AddClear(CLI::App& cache, const GlobalOptions& options) {
  auto* command = cache.add_subcommand("clear", "Remove every entry and partial download");
  command->callback([&options] {
    size_t removed = 0;
    if (!inet::ClearUrlCache(&removed)) ThrowCacheFailure("Unable to clear the internet cache");
    if (options.json)
      PrintJson({{"removed", removed}});
    else
      std::printf("Removed %zu entries\n", removed);
  });
}

void AddInfo(CLI::App& cache, const GlobalOptions& options) {
  auto* command = cache.add_subcommand("info", "Show the cache folder, its size limit and its use");
  command->callback([&options] {
    const std::optional<std::string> folder = inet::CacheFolder();
    if (!folder) ThrowCacheFailure("No internet cache folder");
    const qx::net::CacheLimit limit = qx::net::ReadCacheLimit();
    if (!limit.problem.empty()) std::fprintf(stderr, "qxnet: %s\n", limit.problem.c_str());
    int64_t total = 0;
    size_t entries = 0, partials = 0;
    for (const auto& entry : Listing()) {
      total += entry.size;
      ++(entry.partial ? partials : entries);
    }
    if (options.json) {
      PrintJson({{"folder", *folder},
                 {"limit", limit.bytes},
                 {"limit_source", limit.source},
                 {"total_size", total},
                 {"entries", entries},
                 {"partial_downloads", partials}});
    } else {
      std::printf("folder:   %s\nlimit:    %" PRIu64 " bytes (%s)\ntotal:    %" PRId64
                  " bytes\nentries:  %zu\npartial:  %zu\n",
                  folder->c_str(), limit.bytes, limit.source.c_str(), total, entries, partials);
    }
  });
}

}  // namespace

void AddCacheCommand(CLI::App& app, const GlobalOptions& options) {
  auto* cache = app.add_subcommand("cache", "List, remove, clear or describe the internet cache");
  cache->require_subcommand(1);
  AddList(*cache, options);
  AddRemove(*cache, options);
  AddClear(*cache, options);
  AddInfo(*cache, options);
}

}  // namespace qxcli
