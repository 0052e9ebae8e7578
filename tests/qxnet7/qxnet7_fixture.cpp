#include "tests/qxnet7/qxnet7_fixture.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "qxnet/bstr.h"
#include "qxnet/text.h"

namespace qxnet7test {

namespace {

void AddRoutes(httplib::Server& http, const std::shared_ptr<ServerState>& state) {
  // GET and HEAD (the server answers HEAD through the GET route).
  http.Get("/doc", [state](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->methods.push_back(request.method + " " + request.path);
    response.status = state->docStatus;
    if (!state->lastModified.empty()) response.set_header("Last-Modified", state->lastModified);
    response.set_content("document body", "text/plain");
  });
  // Every POST: the body is taken through a content reader, because the
  // server's own reading of form bodies stops at a few kilobytes.
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

HKEY CreateKey(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  return key;
}

constexpr char16_t kInternal[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";

}  // namespace

void Qxnet7Test::SetUp() {
  qxtest::ComTest::SetUp();
  setenv("QXNET_ONLINE", "1", 1);
  static int serial = 0;
  folder = qxtest::TestRoot() + "/qx7-" + std::to_string(++serial);
  tmp = folder + "/tmp";
  mkdir(folder.c_str(), 0700);
  mkdir((folder + "/cache").c_str(), 0700);
  mkdir(tmp.c_str(), 0700);
  setenv("QXNET_CACHE_DIR", (folder + "/cache").c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  server = std::make_unique<inettest::LoopbackServer>();
  AddRoutes(server->http(), state);
  server->Start();
  sink = new RecordingSink;
}

void Qxnet7Test::TearDown() {
  for (auto& [point, cookie] : advised_) point->Unadvise(cookie);
  advised_.clear();
  sink->Release();
  server.reset();
  SetGlobalOffline(false);
  qxtest::ComTest::TearDown();
}

qx::ComPtr<_QXNet> Qxnet7Test::NewObject(bool withSink) {
  auto object = qxtest::Create<_QXNet>(CLSID_QXNet);
  if (withSink && object) {
    auto container = qx::QueryAs<IConnectionPointContainer>(object.Get());
    qx::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID___QXNetEvents, point.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    advised_.emplace_back(point, cookie);
  }
  return object;
}

std::string Qxnet7Test::Download(_QXNet* object, const std::string& url) {
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  BSTR fileName = nullptr;
  EXPECT_EQ(object->RetrieveFile(urlText.Get(), 0, &fileName), S_OK);
  std::string path = qx::BstrToUtf8(fileName);
  SysFreeString(fileName);
  return path;
}

void SetUseInternetCache(DWORD type, const std::u16string& text) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kInternal);
  std::u16string data = text;
  data.push_back(u'\0');
  if (type == REG_MULTI_SZ) data.push_back(u'\0');
  EXPECT_EQ(RegSetValueExW(key, u"Use Internet Cache", 0, type,
                           reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size() * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetUseInternetCacheDword(DWORD value) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kInternal);
  EXPECT_EQ(RegSetValueExW(key, u"Use Internet Cache", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&value), sizeof(value)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetGlobalOffline(bool offline) {
  HKEY key = CreateKey(HKEY_CURRENT_USER,
                       u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
  const DWORD value = offline ? 1 : 0;
  EXPECT_EQ(RegSetValueExW(key, u"GlobalUserOffline", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&value), sizeof(value)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string ErrorDescription() {
  return qxtest::Narrow(qxtest::TakeErrorRecord().description);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& entry : lines) {
    if (entry == line) return true;
  }
  return false;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& entry : lines) {
    if (entry.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

}  // namespace qxnet7test
