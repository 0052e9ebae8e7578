// A bare HTTP server on 127.0.0.1 whose every answer the test writes out in
// full: status line and fields as given, the body cut after a number of
// bytes, or held open until released. It serves one connection at a time
// and closes each after its answer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_sockets.h"

namespace qxtest {

struct ScriptedAnswer {
  std::string head;  // status line and header lines, each ending in CR LF
  std::string body;
  size_t sendBytes = std::string::npos;  // body bytes sent before the connection ends
  bool holdAfterSending = false;         // keep the connection open until Release()
};

class ScriptedServer {
 public:
  // `answer` gets the request's head (request line and fields).
  explicit ScriptedServer(std::function<ScriptedAnswer(const std::string& request)> answer);
  ~ScriptedServer();

  std::string Url(const std::string& path) const;
  std::vector<std::string> Requests();
  // Waits until an answer marked holdAfterSending has been sent.
  bool WaitUntilHolding();
  void Release();

 private:
  void Serve();
  void Answer(int client);

  std::function<ScriptedAnswer(const std::string&)> answer_;
  Listener listener_{8};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> requests_;
  bool holding_ = false;
  bool released_ = false;
  std::thread thread_;
};

}  // namespace qxtest
