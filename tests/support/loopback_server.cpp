#include "tests/support/loopback_server.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace qxtest {

LoopbackServer::LoopbackServer(std::unique_ptr<httplib::Server> server)
    : server_(server ? std::move(server) : std::make_unique<httplib::Server>()) {
  server_->set_logger([this](const httplib::Request& request, const httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex_);
    clientPorts_.insert(request.remote_port);
    ++requests_;
  });
}

LoopbackServer::~LoopbackServer() {
  stopping = true;
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void LoopbackServer::Start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

size_t LoopbackServer::ConnectionCount(size_t requests) {
  for (int i = 0; i < 1000; ++i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (requests_ >= requests) return clientPorts_.size();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return clientPorts_.size();
}

namespace {

EVP_PKEY* MakeKey() { return EVP_EC_gen("P-256"); }

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) throw std::runtime_error("bad extension");
  X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* MakeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                      long validFrom, long validTo, const char* altNames, bool authority,
                      long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), validFrom);
  X509_gmtime_adj(X509_getm_notAfter(cert), validTo);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  X509* signer = issuer ? issuer : cert;
  if (authority) {
    AddExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert, signer, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert, signer, NID_subject_alt_name, altNames);
  }
  X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256());
  return cert;
}

void WriteCert(const std::string& path, X509* cert) {
  FILE* file = std::fopen(path.c_str(), "w");
  PEM_write_X509(file, cert);
  std::fclose(file);
}

void WriteKey(const std::string& path, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(file);
}

}  // namespace

CertificateFiles MakeCertificates(const std::string& folder, CertificateKind kind) {
  constexpr long kDay = 24 * 3600;
  EVP_PKEY* caKey = MakeKey();
  X509* ca = MakeCertificate(caKey, "Test Authority", nullptr, nullptr, -kDay, 30 * kDay, nullptr,
                             true, 1);
  EVP_PKEY* serverKey = MakeKey();
  const char* names =
      kind == CertificateKind::WrongHost ? "DNS:other.invalid" : "IP:127.0.0.1,DNS:localhost";
  const long from = kind == CertificateKind::Expired ? -10 * kDay : -kDay;
  const long to = kind == CertificateKind::Expired ? -kDay : 30 * kDay;
  X509* server =
      MakeCertificate(serverKey, kind == CertificateKind::WrongHost ? "other.invalid" : "127.0.0.1",
                      ca, caKey, from, to, names, false, 2);
  CertificateFiles files{folder + "/ca.pem", folder + "/server.pem", folder + "/server.key"};
  WriteCert(files.caCert, ca);
  WriteCert(files.serverCert, server);
  WriteKey(files.serverKey, serverKey);
  X509_free(server);
  X509_free(ca);
  EVP_PKEY_free(serverKey);
  EVP_PKEY_free(caKey);
  return files;
}

}  // namespace qxtest
