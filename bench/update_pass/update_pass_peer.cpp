// The peer of `qxnet update --force` in compare_update.sh: the same update
// pass written directly on libcurl and pugixml.
//
//   update_pass_peer URL CATALOG
//
// Fetches the feed, parses it, loads the catalog, adds every feed item
// whose guid (ignoring case) none of the catalog's three lists holds to
// the pending list, sets the last check date, saves the catalog (a new
// file flushed to disk, then renamed over the old one), and prints the
// table of all items, oldest first.
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <string>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

namespace {

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

bool Fetch(const char* url, std::string& body) {
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return rc == CURLE_OK;
}

std::string Folded(const char* text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

struct SavedFile : pugi::xml_writer {
  FILE* file;
  void write(const void* data, size_t size) override { std::fwrite(data, 1, size, file); }
};

bool SaveAtomically(const pugi::xml_document& doc, const std::string& path) {
  const std::string temporary = path + ".new";
  SavedFile out;
  out.file = std::fopen(temporary.c_str(), "wb");
  if (!out.file) return false;
  doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  const bool written = std::fflush(out.file) == 0 && fsync(fileno(out.file)) == 0;
  if (std::fclose(out.file) != 0 || !written) return false;
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_pass_peer URL CATALOG\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::string body;
  if (!Fetch(argv[1], body)) return 1;
  pugi::xml_document feed;
  if (!feed.load_buffer_inplace(body.data(), body.size())) return 1;

  pugi::xml_document catalog;
  if (!catalog.load_file(argv[2])) {
    catalog.reset();
    catalog.append_child("updatecatalog");
  }
  pugi::xml_node root = catalog.child("updatecatalog");
  const char* lists[] = {"notinstalleditems", "discardeditems", "installeditems"};
  std::unordered_set<std::string> known;
  for (const char* list : lists) {
    if (!root.child(list)) root.append_child(list);
    for (pugi::xml_node item : root.child(list).children("item"))
      known.insert(Folded(item.child_value("guid")));
  }

  pugi::xml_node pending = root.child("notinstalleditems");
  for (pugi::xml_node channel : feed.child("rss").children("channel")) {
    for (pugi::xml_node item : channel.children("item")) {
      if (!known.insert(Folded(item.child_value("guid"))).second) continue;
      pugi::xml_node added = pending.append_child("item");
      for (const char* name : {"guid", "title", "description", "link", "category", "pubDate"})
        added.append_child(name).text().set(item.child_value(name));
      if (item.attribute("required")) added.append_attribute("required") = "true";
    }
  }
  char now[32];
  const std::time_t clock = std::time(nullptr);
  std::strftime(now, sizeof now, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&clock));
  if (!root.child("lastcheckdate")) root.append_child("lastcheckdate");
  root.child("lastcheckdate").text().set(now);
  if (!SaveAtomically(catalog, argv[2])) return 1;

  // The table, oldest first (the dates are read as the feed writes them).
  struct Row {
    std::time_t date;
    const char* status;
    pugi::xml_node item;
  };
  std::vector<Row> rows;
  const char* statuses[] = {"Pending", "Discarded", "Installed"};
  for (int i = 0; i < 3; ++i) {
    for (pugi::xml_node item : root.child(lists[i]).children("item")) {
      std::tm parsed{};
      strptime(item.child_value("pubDate"), "%a, %d %b %Y %H:%M:%S", &parsed);
      rows.push_back({timegm(&parsed), statuses[i], item});
    }
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.date < b.date; });
  std::printf("%-20s %-10s %-4s %-30s %s\n", "DATE", "STATUS", "REQ", "GUID", "TITLE");
  for (const Row& row : rows) {
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::gmtime(&row.date));
    std::printf("%-20s %-10s %-4s %-30s %s\n", date, row.status,
                row.item.attribute("required") ? "yes" : "", row.item.child_value("guid"),
                row.item.child_value("title"));
  }
  curl_global_cleanup();
  return 0;
}
