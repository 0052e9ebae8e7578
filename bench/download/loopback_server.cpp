#include "bench/download/loopback_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace bench {
namespace {

// A port on 127.0.0.1 that nothing listens on now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Answers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

std::string FindNginx() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"}) {
    if (access(candidate, X_OK) == 0) return candidate;
  }
  return std::string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

LoopbackServer::LoopbackServer(const std::string& root, const std::string& scratch) {
  if (!StartNginx(root, scratch)) StartFallback(root);
}

LoopbackServer::~LoopbackServer() {
  if (nginx_ != 0) {
    kill(nginx_, SIGQUIT);
    int status = 0;
    waitpid(nginx_, &status, 0);
  }
  if (fallback_) {
    fallback_->stop();
    if (serving_.joinable()) serving_.join();
  }
}

std::string LoopbackServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

bool LoopbackServer::StartNginx(const std::string& root, const std::string& scratch) {
  const std::string nginx = FindNginx();
  const int port = FreePort();
  if (nginx.empty() || port == 0) return false;
  // A private configuration: one worker, files sent by the kernel, no
  // access log, every temporary path inside `scratch`.
  const std::string config = scratch + "/nginx.conf";
  {
    std::ofstream out(config);
    out << "daemon off;\nmaster_process on;\nworker_processes 1;\n";
    // A worker started by root would otherwise run as nobody, who cannot
    // read this private folder.
    if (geteuid() == 0) out << "user root;\n";
    out << "pid " << scratch << "/nginx.pid;\nerror_log " << scratch << "/error.log;\n"
        << "events { worker_connections 256; }\n"
        << "http {\n  access_log off;\n  sendfile on;\n  keepalive_requests 100000;\n"
        << "  default_type application/octet-stream;\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      out << "  " << kind << "_temp_path " << scratch << "/" << kind << ";\n";
    }
    out << "  server { listen 127.0.0.1:" << port << "; root " << root << "; }\n}\n";
  }
  std::vector<std::string> argv = {
      nginx, "-p", scratch, "-c", config, "-e", scratch + "/error.log"};
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  for (int wait = 0; wait < 200; ++wait) {
    if (Answers(port)) {
      nginx_ = pid;
      port_ = port;
      FILE* version = popen((nginx + " -v 2>&1").c_str(), "r");
      char text[128] = {};
      if (version != nullptr) {
        if (fgets(text, sizeof text, version) != nullptr) name_ = text;
        pclose(version);
      }
      while (!name_.empty() && (name_.back() == '\n' || name_.back() == '\r')) name_.pop_back();
      if (name_.empty()) name_ = "nginx";
      return true;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      std::fprintf(stderr, "nginx did not start: %s\n", ReadAll(scratch + "/error.log").c_str());
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

void LoopbackServer::StartFallback(const std::string& root) {
  fallback_ = std::make_unique<httplib::Server>();
  if (!fallback_->set_mount_point("/", root)) return;
  const int port = fallback_->bind_to_any_port("127.0.0.1");
  if (port <= 0) return;
  serving_ = std::thread([this] { fallback_->listen_after_bind(); });
  while (!fallback_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  port_ = port;
  name_ = "built-in loopback server (nginx not found)";
}

}  // namespace bench
