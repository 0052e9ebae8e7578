// Test servers on 127.0.0.1 with an ephemeral port, plain or TLS, and the
// certificates the TLS fixtures make at run time.
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace qxtest {

// Runs an httplib server on 127.0.0.1 until destroyed; counts the TCP
// connections its requests came over (by client port).
class LoopbackServer {
 public:
  explicit LoopbackServer(std::unique_ptr<httplib::Server> server = nullptr);
  ~LoopbackServer();

  httplib::Server& http() { return *server_; }
  void Start();
  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  // Distinct client connections among the requests served so far, once
  // `requests` requests have been logged (the log follows the response).
  size_t ConnectionCount(size_t requests = 0);
  std::atomic<bool> stopping{false};

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::set<int> clientPorts_;
  size_t requests_ = 0;
};

struct CertificateFiles {
  std::string caCert;      // PEM of the authority to trust
  std::string serverCert;  // PEM of the server certificate
  std::string serverKey;
};

enum class CertificateKind { Valid, WrongHost, Expired };

// Makes a test authority and a server certificate signed by it, in `folder`.
// Valid: for 127.0.0.1 and localhost; WrongHost: for another name only;
// Expired: for 127.0.0.1, validity ended a day ago.
CertificateFiles MakeCertificates(const std::string& folder, CertificateKind kind);

}  // namespace qxtest
