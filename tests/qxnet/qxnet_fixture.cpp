#include "tests/qxnet/qxnet_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "net/internet_service/internet_service.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"
#include "tests/support/registry_dump.h"

namespace qxnettest {

namespace {

// /doc (GET, and HEAD through it) and every POST answer as `state` says.
void AddDocumentRoutes(httplib::Server& http, const std::shared_ptr<ServerState>& state) {
  http.Get("/doc", [state](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->methods.push_back(request.method + " " + request.path);
    response.status = state->docStatus;
    if (!state->lastModified.empty()) response.set_header("Last-Modified", state->lastModified);
    response.set_content("document body", "text/plain");
  });
  // The body is taken through a content reader, because the server's own
  // reading of form bodies stops at a few kilobytes.
  http.Post(R"(/.*)", [state](const httplib::Request& request, httplib::Response& response,
                              const httplib::ContentReader& reader) {
    std::string body;
    reader([&](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    std::lock_guard<std::mutex> lock(state->mutex);
    state->methods.push_back(request.method + " " + request.path);
    state->uploadBody = body;
    state->uploadContentType = request.get_header_value("Content-Type");
    state->uploadPath = request.path;
    response.status = state->uploadStatus;
    response.set_content("answer for " + std::to_string(body.size()) + " bytes", "text/html");
  });
}

}  // namespace

HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                              EXCEPINFO*, UINT*) {
  if (id == 2) {
    ++ends;
    return S_OK;
  }
  if (id != 1 || params->cArgs != 3) return DISP_E_MEMBERNOTFOUND;
  const std::string title = qx::BstrToUtf8(params->rgvarg[2].bstrVal);
  reports.emplace_back(title, params->rgvarg[1].lVal);
  if (!throwAtTitle.empty() && title.rfind(throwAtTitle, 0) == 0) {
    throwAtTitle.clear();
    throw std::runtime_error("sink failure");
  }
  if (!cancelAtTitle.empty() && title.rfind(cancelAtTitle, 0) == 0) {
    *params->rgvarg[0].pboolVal = cancelAnswer;
    cancelAtTitle.clear();
  }
  return S_OK;
}

void QXNetTest::SetUp() {
  qxtest::ComTest::SetUp();
  setenv("QXNET_ONLINE", "1", 1);
  // A cache and a temporary folder of this test's own, so that the suite
  // also runs in one process.
  folder = qxtest::MakeTestFolder("qxnet");
  tmp = folder + "/tmp";
  mkdir((folder + "/cache").c_str(), 0700);
  mkdir(tmp.c_str(), 0700);
  setenv("QXNET_CACHE_DIR", (folder + "/cache").c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  server = std::make_unique<qxtest::LoopbackServer>();
  AddDocumentRoutes(server->http(), state);
  AddTestRoutes(server->http(), server->stopping);
  server->Start();
  sink = new RecordingSink;
}

void QXNetTest::TearDown() {
  for (auto& [point, cookie] : advised) point->Unadvise(cookie);
  advised.clear();
  sink->Release();
  server.reset();
  SetGlobalOffline(false);
  qxtest::ComTest::TearDown();
}

qx::ComPtr<_QXNet> QXNetTest::NewObject(RecordingSink* withSink) {
  auto object = qxtest::Create<_QXNet>(CLSID_QXNet);
  if (withSink && object) {
    qx::ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    qx::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID___QXNetEvents, point.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(withSink, &cookie), S_OK);
    advised.emplace_back(point, cookie);
  }
  return object;
}

HRESULT QXNetTest::Retrieve(_QXNet* object, const std::string& url, std::string& path,
                            const std::string& destination) {
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  BSTR fileName = destination.empty() ? nullptr : qx::BStr::FromUtf8(destination).Detach();
  const HRESULT hr = object->RetrieveFile(urlText.Get(), 0, &fileName);
  path = qx::BstrToUtf8(fileName);
  SysFreeString(fileName);
  return hr;
}

std::string QXNetTest::Download(_QXNet* object, const std::string& url) {
  std::string path;
  EXPECT_EQ(Retrieve(object, url, path), S_OK) << url;
  return path;
}

void AddTestRoutes(httplib::Server& http, std::atomic<bool>& stopping) {
  using httplib::Request;
  using httplib::Response;
  auto fixed = [&http](const char* path, std::string body, const char* type) {
    http.Get(path, [body, type](const Request&, Response& response) {
      response.set_content(body, type);
    });
  };
  http.Get("/small.xml", [](const Request&, Response& response) {
    response.set_header("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
    response.set_content(std::string(2048, 'a'), "text/xml");
  });
  fixed("/empty", "", "text/plain");
  fixed("/big.bin", std::string(204800, 'b'), "application/octet-stream");
  http.Get("/large.bin", [](const Request&, Response& response) {
    constexpr size_t kLength = size_t{4} << 20;
    response.set_content_provider(kLength, "application/octet-stream",
                                  [](size_t, size_t length, httplib::DataSink& sink) {
                                    const std::string chunk(std::min<size_t>(length, 16384), 'l');
                                    return sink.write(chunk.data(), chunk.size());
                                  });
  });
  http.Get("/chunked", [](const Request&, Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      if (offset >= 3000) {
        sink.done();
        return true;
      }
      return sink.write(std::string(1000, 'c').data(), 1000);
    });
  });
  http.Get(R"(/status/(\d+))", [](const Request& request, Response& response) {
    response.status = std::stoi(request.matches[1]);
    if (response.status != 204 && response.status != 304) response.set_content("x", "text/plain");
  });
  http.Get("/moved",
           [](const Request&, Response& response) { response.set_redirect("/small.xml", 302); });
  http.Get("/auth", [](const Request& request, Response& response) {
    if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {  // user:secret
      return response.set_content("welcome", "text/plain");
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"test\"");
  });
  http.Get("/cut", [](const Request&, Response& response) {
    response.set_content_provider(
        1 << 20, "application/octet-stream", [](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset >= 200 * 1024) return false;  // drops the connection
          return sink.write(std::string(64 * 1024, 'c').data(), 64 * 1024);
        });
  });
  http.Get("/stall", [&stopping](const Request&, Response& response) {
    response.set_content_provider(1000, "text/plain",
                                  [&stopping](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (offset == 0) return sink.write("x", 1);
                                    for (int i = 0; i < 200 && !stopping; ++i) {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(25));
                                    }
                                    return false;
                                  });
  });
  fixed(R"(/.*)", "any", "text/plain");
}

std::string CacheFolder() {
  const char* folder = std::getenv("QXNET_CACHE_DIR");
  return folder ? folder : "";
}

std::vector<std::string> CacheFiles() {
  std::vector<std::string> files;
  for (const std::string& name : FolderEntries(CacheFolder())) {
    if (name.rfind("index.db", 0) != 0) files.push_back(name);
  }
  return files;
}

bool IsCached(const std::string& url) {
  DWORD size = 0;
  const std::u16string wide = qx::Utf8ToUtf16(url);
  qx::inet::GetUrlCacheEntryInfoExW(wide.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0);
  return qx::inet::GetLastError() != ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> TraceEntries() {
  const std::string data = ReadFile(qx::Utf16ToUtf8(qx::net::GetLogFilePath()));
  std::u16string wide;
  for (size_t i = 2; i + 1 < data.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                         (static_cast<unsigned char>(data[i + 1]) << 8)));
  }
  std::vector<std::string> entries;
  static const std::regex stamp(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d )");
  std::istringstream text(qx::Utf16ToUtf8(wide));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch match;
    if (std::regex_search(line, match, stamp)) {
      entries.push_back(match.suffix());
    } else if (!entries.empty()) {
      entries.back() += "\n" + line;
    }
  }
  return entries;
}

void SetUseInternetCache(DWORD type, const std::u16string& text) {
  std::u16string data = text;
  data.push_back(u'\0');
  if (type == REG_MULTI_SZ) data.push_back(u'\0');
  qxtest::WriteRegistryValue(HKEY_LOCAL_MACHINE, qxtest::kProductKey, u"Use Internet Cache", type,
                             data.data(), data.size() * sizeof(char16_t));
}

void SetGlobalOffline(bool offline) {
  const DWORD value = offline ? 1 : 0;
  qxtest::WriteRegistryValue(HKEY_CURRENT_USER,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                             u"GlobalUserOffline", REG_DWORD, &value, sizeof value);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
}

}  // namespace qxnettest
