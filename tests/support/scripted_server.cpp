#include "tests/support/scripted_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace qxtest {

ScriptedServer::ScriptedServer(std::function<ScriptedAnswer(const std::string&)> answer)
    : answer_(std::move(answer)) {
  thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  Release();
  thread_.join();
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(listener_.port()) + path;
}

std::vector<std::string> ScriptedServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool ScriptedServer::WaitUntilHolding() {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return holding_; });
}

void ScriptedServer::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void ScriptedServer::Serve() {
  while (!stopping_) {
    pollfd ready{listener_.fd(), POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    const int client = accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    close(client);
  }
}

void ScriptedServer::Answer(int client) {
  std::string request;
  char chunk[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd ready{client, POLLIN, 0};
    if (poll(&ready, 1, 5000) <= 0) return;
    const ssize_t got = recv(client, chunk, sizeof chunk, 0);
    if (got <= 0) return;
    request.append(chunk, static_cast<size_t>(got));
  }
  request.resize(request.find("\r\n\r\n") + 2);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  const ScriptedAnswer answer = answer_(request);
  const std::string body = answer.body.substr(0, answer.sendBytes);
  const std::string bytes = answer.head + "Connection: close\r\n\r\n" + body;
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t put = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return;
    sent += static_cast<size_t>(put);
  }
  if (answer.holdAfterSending) {
    std::unique_lock<std::mutex> lock(mutex_);
    holding_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
}

}  // namespace qxtest
