// bench_download: RetrieveFile against the curl command line on the same
// loopback files, measured in the same run.
//
//   bench_download [size-in-MiB]   (default 1024)
//
// 1. A large file: RetrieveFile without a destination, RetrieveFile with a
//    destination, and `curl -s -o`, alternated, 3 runs each; medians and
//    ratios to curl.
// 2. Peak resident memory of this process (VmHWM).
// 3. 1,000 sequential RetrieveFile calls of a 4 KiB file on one object
//    against one curl process fetching the same 1,000 URLs.
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/module/module_exports.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// Runs a shell command; false when it fails.
bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// RetrieveFile of `url` into `destination` (empty: the cache file); the path
// handed back in `path`.
bool Retrieve(_QXNet* net, const std::string& url, const std::string& destination,
              std::string* path = nullptr) {
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  BSTR fileName = destination.empty() ? nullptr : qx::BStr::FromUtf8(destination).Detach();
  const HRESULT hr = net->RetrieveFile(urlText.Get(), 0, &fileName);
  if (path) *path = qx::BstrToUtf8(fileName);
  SysFreeString(fileName);
  return hr == S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t sizeMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const size_t bigSize = sizeMiB << 20;

  // A private registry, cache and temporary folder.
  char rootTemplate[] = "/tmp/bench_download.XXXXXX";
  const fs::path root = mkdtemp(rootTemplate);
  fs::create_directories(root / "cache");
  fs::create_directories(root / "tmp");
  setenv("QXNET_REGISTRY", (root / "registry.db").c_str(), 1);
  setenv("QXNET_CACHE_DIR", (root / "cache").c_str(), 1);
  setenv("TMPDIR", (root / "tmp").c_str(), 1);
  setenv("QXNET_ONLINE", "1", 1);
  if (DllRegisterServer() != S_OK) {
    std::fprintf(stderr, "registration failed\n");
    return 1;
  }

  // The loopback server: the big file made of a repeated 1 MiB block, and
  // 4 KiB files under any name.
  static const std::string block(1 << 20, 'q');
  static const std::string small(4096, 's');
  httplib::Server server;
  server.Get("/big.bin", [bigSize](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        bigSize, "application/octet-stream",
        [](size_t offset, size_t length, httplib::DataSink& sink) {
          const size_t start = offset % block.size();
          return sink.write(block.data() + start, std::min(length, block.size() - start));
        });
  });
  server.Get(R"(/small/(\d+)\.txt)", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(small, "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  const std::string bigUrl = base + "/big.bin";

  qx::ComPtr<_QXNet> net;
  if (FAILED(CoCreateInstance(CLSID_QXNet, nullptr, CLSCTX_INPROC_SERVER, IID__QXNet,
                              net.PutVoid()))) {
    std::fprintf(stderr, "cannot create QXNet\n");
    return 1;
  }

  std::printf("large file: %zu MiB over 127.0.0.1, 3 runs each, alternated\n", sizeMiB);
  std::vector<double> plain, copied, curl;
  const std::string destination = (root / "copy.bin").string();
  const std::string curlOut = (root / "curl.bin").string();
  for (int run = 0; run < 3; ++run) {
    auto start = Clock::now();
    std::string cachePath;
    if (!Retrieve(net.Get(), bigUrl, "", &cachePath) || fs::file_size(cachePath) != bigSize) {
      std::fprintf(stderr, "RetrieveFile failed\n");
      return 1;
    }
    plain.push_back(Seconds(start));
    fs::remove(cachePath);

    start = Clock::now();
    if (!Retrieve(net.Get(), bigUrl, destination) || fs::file_size(destination) != bigSize) {
      std::fprintf(stderr, "RetrieveFile with a destination failed\n");
      return 1;
    }
    copied.push_back(Seconds(start));
    fs::remove(destination);
    fs::remove(root / "tmp" / "qxinternet.log");

    start = Clock::now();
    if (!Run("curl -s -o '" + curlOut + "' '" + bigUrl + "'")) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
    curl.push_back(Seconds(start));
    fs::remove(curlOut);
    std::printf("  run %d: RetrieveFile %.3f s, with destination %.3f s, curl %.3f s\n", run + 1,
                plain.back(), copied.back(), curl.back());
  }
  const double curlMedian = Median(curl);
  std::printf("median: RetrieveFile %.3f s (%.0f MiB/s), with destination %.3f s, curl %.3f s\n",
              Median(plain), sizeMiB / Median(plain), Median(copied), curlMedian);
  std::printf("ratio to curl: without destination %.2fx (goal <= 1.1x), with destination "
              "%.2fx (goal <= 1.6x)\n",
              Median(plain) / curlMedian, Median(copied) / curlMedian);
  std::printf("peak memory (VmHWM, whole process incl. server): %.1f MiB (goal < 64 MiB)\n",
              PeakResidentKiB() / 1024.0);

  // 1,000 small files, one object against one curl process.
  constexpr int kSmallCount = 1000;
  auto start = Clock::now();
  for (int i = 0; i < kSmallCount; ++i) {
    if (!Retrieve(net.Get(), base + "/small/" + std::to_string(i) + ".txt", "")) {
      std::fprintf(stderr, "small RetrieveFile %d failed\n", i);
      return 1;
    }
  }
  const double ours = Seconds(start);
  const fs::path config = root / "curl.cfg";
  {
    std::ofstream out(config);
    for (int i = 0; i < kSmallCount; ++i) {
      out << "url = \"" << base << "/small/" << i << ".txt\"\noutput = \"/dev/null\"\n";
    }
  }
  start = Clock::now();
  if (!Run("curl -s -K '" + config.string() + "'")) {
    std::fprintf(stderr, "curl failed\n");
    return 1;
  }
  const double theirs = Seconds(start);
  std::printf("1000 x 4 KiB: RetrieveFile %.3f s, one curl process %.3f s, ratio %.2fx\n", ours,
              theirs, ours / theirs);

  net = nullptr;
  server.stop();
  serving.join();
  fs::remove_all(root);
  return 0;
}
