// bench_download: downloads through this library against the curl command
// line, from the same loopback server (nginx when installed), measured in
// the same run and printed as ratios.
//
//   bench_download [large-size-in-MiB] [small-file-count]   (default 1024 1000)
//
// 1. One large file into the cache only: `qxnet get` against `curl -o FILE`
//    and `curl -o /dev/null`.
// 2. The same file by RetrieveFile in this process, no destination, against
//    `curl -o FILE`; peak memory of this process.
// 3. With a destination: `qxnet get -o` against `curl -o f; sync f`.
// 4. N small files (4 KiB) by RetrieveFile on one object against one curl
//    process fetching the same N URLs (to /dev/null, and to a file each, as
//    the cache makes one).
// 5. N `qxnet get` processes against N curl processes.
// Large rows run 3 times alternated with their peers; medians are printed.
// The small-file rows also print the processor time of both sides, which a
// busy machine disturbs far less than the wall time.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/download/loopback_server.h"
#include "bench/download/timed_process.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/module/module_exports.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 3;

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

// Ends the run: the server and the temporary folder are cleaned up on the
// way out of main.
[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

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

// The files the server hands out: a sparse large file (no disk used to
// serve it) and `count` small ones.
void MakeServedFiles(const fs::path& root, size_t largeBytes, int count) {
  fs::create_directories(root / "small");
  const int fd = open((root / "big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(largeBytes)) != 0) Fail("cannot make big.bin");
  close(fd);
  const std::string small(4096, 's');
  for (int i = 0; i < count; ++i) {
    std::ofstream(root / "small" / (std::to_string(i) + ".txt"), std::ios::binary) << small;
  }
}

void PrintRow(const char* workload, double ours, const char* peer, double theirs, double goal) {
  std::printf("%-44s %8.3f s   %-26s %8.3f s   %5.2fx  (goal <= %.2fx)\n", workload, ours, peer,
              theirs, ours / theirs, goal);
}

int Bench(int argc, char** argv, const fs::path& root) {
  const size_t sizeMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const int smallCount = argc > 2 ? std::atoi(argv[2]) : 1000;
  const size_t bigSize = sizeMiB << 20;
  const fs::path binaries = fs::canonical("/proc/self/exe").parent_path();
  const std::string qxnet = (binaries / "qxnet").string();
  if (access(qxnet.c_str(), X_OK) != 0) Fail("no qxnet program beside this one: " + qxnet);

  struct statvfs space {};
  // The cache file, a destination copy and curl's file may exist at once.
  if (statvfs(root.c_str(), &space) == 0 &&
      static_cast<double>(space.f_bavail) * space.f_frsize < 3.5 * static_cast<double>(bigSize)) {
    Fail("not enough free space in /tmp for three copies of the large file");
  }
  for (const char* folder : {"www", "server", "cache", "tmp", "cli-cache", "out"}) {
    fs::create_directories(root / folder);
  }
  MakeServedFiles(root / "www", bigSize, smallCount);
  setenv("QXNET_REGISTRY", (root / "registry.db").c_str(), 1);
  setenv("QXNET_CACHE_DIR", (root / "cache").c_str(), 1);
  setenv("TMPDIR", (root / "tmp").c_str(), 1);
  setenv("QXNET_ONLINE", "1", 1);
  if (DllRegisterServer() != S_OK) Fail("registration failed");
  // The command-line runs use the shipped module, registered in their own
  // registry, and their own cache.
  const std::vector<std::string> cli = {"QXNET_REGISTRY=" + (root / "cli-registry.db").string(),
                                        "QXNET_CACHE_DIR=" + (root / "cli-cache").string()};
  if (!bench::RunProcess({qxnet, "register"}, cli).ok) Fail("qxnet register failed");
  auto freshCliCache = [&] {
    fs::remove_all(root / "cli-cache");
    fs::create_directories(root / "cli-cache");
  };

  bench::LoopbackServer server((root / "www").string(), (root / "server").string());
  if (!server.Ready()) Fail("no loopback server could be started");
  const std::string base = server.BaseUrl();
  const std::string bigUrl = base + "/big.bin";
  const std::string curlFile = (root / "out" / "curl.bin").string();
  const std::string destination = (root / "out" / "copy.bin").string();
  std::printf("server: %s on 127.0.0.1; large file %zu MiB, %d small files of 4 KiB\n",
              server.Name().c_str(), sizeMiB, smallCount);

  // Rows 1 and 3: the command line, alternated with curl.
  std::vector<double> get, getCopy, curlToFile, curlToNull, curlSync;
  long cliPeakKiB = 0;
  for (int run = 0; run < kRuns; ++run) {
    freshCliCache();
    bench::ProcessRun ours = bench::RunProcess({qxnet, "--no-progress", "get", bigUrl}, cli);
    if (!ours.ok) Fail("qxnet get failed");
    get.push_back(ours.seconds);
    cliPeakKiB = std::max(cliPeakKiB, ours.peakResidentKiB);

    freshCliCache();
    ours = bench::RunProcess({qxnet, "--no-progress", "get", bigUrl, "-o", destination}, cli);
    if (!ours.ok || fs::file_size(destination) != bigSize) Fail("qxnet get -o failed");
    getCopy.push_back(ours.seconds);
    cliPeakKiB = std::max(cliPeakKiB, ours.peakResidentKiB);
    fs::remove(destination);

    bench::ProcessRun curl = bench::RunProcess({"curl", "-s", "-o", curlFile, bigUrl});
    if (!curl.ok) Fail("curl failed");
    curlToFile.push_back(curl.seconds);
    fs::remove(curlFile);
    curl = bench::RunProcess({"curl", "-s", "-o", "/dev/null", bigUrl});
    if (!curl.ok) Fail("curl failed");
    curlToNull.push_back(curl.seconds);
    curl = bench::RunShell("curl -s -o '" + curlFile + "' '" + bigUrl + "' && sync '" + curlFile +
                           "'");
    if (!curl.ok) Fail("curl with sync failed");
    curlSync.push_back(curl.seconds);
    fs::remove(curlFile);
  }
  freshCliCache();

  // Row 2: RetrieveFile in this process; each run replaces the last one's
  // cache file, as repeated downloads of one URL do.
  qx::ComPtr<_QXNet> net;
  if (FAILED(CoCreateInstance(CLSID_QXNet, nullptr, CLSCTX_INPROC_SERVER, IID__QXNet,
                              net.PutVoid()))) {
    Fail("cannot create QXNet");
  }
  std::vector<double> retrieve, curlForRetrieve;
  for (int run = 0; run < kRuns; ++run) {
    auto start = Clock::now();
    std::string cachePath;
    if (!Retrieve(net.Get(), bigUrl, "", &cachePath)) Fail("RetrieveFile failed");
    retrieve.push_back(Seconds(start));
    if (fs::file_size(cachePath) != bigSize) Fail("RetrieveFile gave a short file");
    const bench::ProcessRun curl = bench::RunProcess({"curl", "-s", "-o", curlFile, bigUrl});
    if (!curl.ok) Fail("curl failed");
    curlForRetrieve.push_back(curl.seconds);
    fs::remove(curlFile);
  }
  const long inProcessPeakKiB = PeakResidentKiB();

  // Row 4: small files on one object, against one curl process.
  auto start = Clock::now();
  const double cpuBefore = bench::OwnCpuSeconds();
  for (int i = 0; i < smallCount; ++i) {
    if (!Retrieve(net.Get(), base + "/small/" + std::to_string(i) + ".txt", "")) {
      Fail("small RetrieveFile " + std::to_string(i) + " failed");
    }
  }
  const double smallOurs = Seconds(start);
  const double smallOursCpu = bench::OwnCpuSeconds() - cpuBefore;
  const fs::path config = root / "curl.cfg";
  {
    std::ofstream out(config);
    for (int i = 0; i < smallCount; ++i) {
      out << "url = \"" << base << "/small/" << i << ".txt\"\noutput = \"/dev/null\"\n";
    }
  }
  const bench::ProcessRun smallCurl = bench::RunProcess({"curl", "-s", "-K", config.string()});
  if (!smallCurl.ok) Fail("curl -K failed");
  // The same with a file made for each URL, as the cache makes one.
  {
    std::ofstream out(config);
    for (int i = 0; i < smallCount; ++i) {
      out << "url = \"" << base << "/small/" << i << ".txt\"\noutput = \""
          << (root / "out" / ("k" + std::to_string(i))).string() << "\"\n";
    }
  }
  const bench::ProcessRun smallCurlFiles = bench::RunProcess({"curl", "-s", "-K", config.string()});
  if (!smallCurlFiles.ok) Fail("curl -K with files failed");
  net = nullptr;

  // Row 5: one process per small file, both sides writing a file each.
  start = Clock::now();
  double processesOursCpu = 0;
  for (int i = 0; i < smallCount; ++i) {
    const std::string url = base + "/small/" + std::to_string(i) + ".txt";
    const bench::ProcessRun ours = bench::RunProcess({qxnet, "--no-progress", "get", url}, cli);
    if (!ours.ok) Fail("qxnet get " + url + " failed");
    cliPeakKiB = std::max(cliPeakKiB, ours.peakResidentKiB);
    processesOursCpu += ours.cpuSeconds;
  }
  const double processesOurs = Seconds(start);
  start = Clock::now();
  double processesCurlCpu = 0;
  for (int i = 0; i < smallCount; ++i) {
    const std::string url = base + "/small/" + std::to_string(i) + ".txt";
    const std::string file = (root / "out" / (std::to_string(i) + ".txt")).string();
    const bench::ProcessRun curl = bench::RunProcess({"curl", "-s", "-o", file, url});
    if (!curl.ok) Fail("curl " + url + " failed");
    processesCurlCpu += curl.cpuSeconds;
  }
  const double processesCurl = Seconds(start);

  std::printf("\n%-44s %10s   %-26s %10s   %s\n", "workload (medians of 3 for large files)", "this",
              "peer", "peer", "ratio");
  const std::string large = std::to_string(sizeMiB) + " MiB";
  PrintRow((large + " into the cache (qxnet get)").c_str(), Median(get), "curl -o FILE",
           Median(curlToFile), 1.15);
  PrintRow((large + " into the cache (qxnet get)").c_str(), Median(get), "curl -o /dev/null",
           Median(curlToNull), 1.5);
  PrintRow((large + " RetrieveFile, no destination").c_str(), Median(retrieve), "curl -o FILE",
           Median(curlForRetrieve), 1.15);
  PrintRow((large + " with destination (qxnet get -o)").c_str(), Median(getCopy),
           "curl -o f; sync f", Median(curlSync), 1.15);
  PrintRow((std::to_string(smallCount) + " x 4 KiB, one process, one object").c_str(), smallOurs,
           "one curl -K, same URLs", smallCurl.seconds, 2.0);
  PrintRow((std::to_string(smallCount) + " x 4 KiB, one process, one object").c_str(), smallOurs,
           "the same, a file per URL", smallCurlFiles.seconds, 2.0);
  PrintRow((std::to_string(smallCount) + " qxnet get processes").c_str(), processesOurs,
           "curl processes", processesCurl, 1.3);
  std::printf("\nprocessor time (user + system) of the same runs:\n");
  PrintRow((std::to_string(smallCount) + " x 4 KiB, one object, CPU").c_str(), smallOursCpu,
           "one curl -K, same URLs", smallCurl.cpuSeconds, 2.0);
  PrintRow((std::to_string(smallCount) + " x 4 KiB, one object, CPU").c_str(), smallOursCpu,
           "the same, a file per URL", smallCurlFiles.cpuSeconds, 2.0);
  PrintRow((std::to_string(smallCount) + " qxnet get processes, CPU").c_str(), processesOursCpu,
           "curl processes", processesCurlCpu, 1.3);
  std::printf(
      "\npeak memory: qxnet get %.1f MiB (largest of all runs), this process after "
      "RetrieveFile %.1f MiB%s\n",
      cliPeakKiB / 1024.0, inProcessPeakKiB / 1024.0,
      server.IsNginx() ? "" : " (includes the built-in server)");
  if (!server.IsNginx()) {
    std::printf(
        "the built-in server's cost: one curl process fetched %d files in %.3f s, "
        "%.2f ms per request including curl's own work\n",
        smallCount, smallCurl.seconds, 1000.0 * smallCurl.seconds / smallCount);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Everything in one private folder: served files, registries, caches.
  char rootTemplate[] = "/tmp/bench_download.XXXXXX";
  if (mkdtemp(rootTemplate) == nullptr) {
    std::perror("bench_download: cannot make a temporary folder");
    return 1;
  }
  int status = 1;
  try {
    status = Bench(argc, argv, rootTemplate);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_download: %s\n", failure.what());
  }
  std::error_code ignored;
  fs::remove_all(rootTemplate, ignored);
  return status;
}
