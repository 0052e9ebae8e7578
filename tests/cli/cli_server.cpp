#include "tests/cli/cli_server.h"

#include <chrono>

namespace clitest {

std::string FileBody() {
  std::string body(kFileSize, '\0');
  for (size_t i = 0; i < body.size(); ++i)
    body[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return body;
}

namespace {

std::string Feed(const std::string& base) {
  std::string feed = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Test</title>";
  const char* items[][3] = {{"test-1", "First", "Mon, 01 Apr 2024 10:00:00 GMT"},
                            {"test-2", "Second", "Wed, 01 May 2024 10:00:00 GMT"},
                            {"test-3", "Third", "Sat, 01 Jun 2024 10:00:00 GMT"}};
  for (const auto& item : items) {
    feed += std::string("<item><title>") + item[1] + "</title><link>" + base + "/file.bin</link>" +
            "<guid>" + item[0] + "</guid><pubDate>" + item[2] + "</pubDate></item>";
  }
  return feed + "</channel></rss>\n";
}

}  // namespace

CliServer::CliServer() {
  httplib::Server& http = server_.http();
  http.Get("/file.bin", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(FileBody(), "application/octet-stream");
  });
  http.Get("/dated.bin", [this](const httplib::Request& request, httplib::Response& response) {
    if (request.method == "GET") ++dated_gets_;
    response.set_header("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
    response.set_content(FileBody(), "application/octet-stream");
  });
  http.Get("/feed.xml", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(Feed(Url("")), "application/rss+xml");
  });
  http.Get("/slow.bin", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(size_t{64} << 20, "application/octet-stream",
                                  [this](size_t, size_t, httplib::DataSink& sink) {
                                    if (server_.stopping) return false;
                                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                    static const std::string piece(4096, 'x');
                                    return sink.write(piece.data(), piece.size());
                                  });
  });
  server_.Start();
}

}  // namespace clitest
