// qxnet online | can-connect | probe | validate
// Each answers yes or no on standard output and through its exit status
// (0 yes, 1 no), so that `qxnet online && ...` works in a script; a failure
// then ends with kExitQueryFailed instead of the usual status.
#include <cstdio>
#include <memory>

#include "qxnet/bstr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/object_creation.h"

namespace qxcli {

namespace {

// Called first by every command of this file: a failure must not look like
// a "no".
void AnswerByExitStatus(GlobalOptions& options) { options.failure_status = kExitQueryFailed; }

void PrintAnswer(GlobalOptions& options, nlohmann::json document, const char* key, bool answer,
                 const char* yes, const char* no) {
  document[key] = answer;
  options.answer_status = answer ? kExitOk : kExitNo;
  if (options.json)
    PrintJson(document);
  else
    std::printf("%s\n", answer ? yes : no);
}

void AddOnline(CLI::App& app, GlobalOptions& options) {
  auto* command = app.add_subcommand("online", "Tell whether this machine is on line");
  command->callback([&options] {
    AnswerByExitStatus(options);
    auto net = Create<_QXNet>("QXNet.QXNet");
    VARIANT_BOOL connected = VARIANT_FALSE;
    Call("IsConnected", [&] { return net->get_IsConnected(&connected); });
    PrintAnswer(options, nlohmann::json::object(), "online", connected == VARIANT_TRUE, "online",
                "offline");
  });
}

void AddCanConnect(CLI::App& app, GlobalOptions& options) {
  auto url = std::make_shared<std::string>();
  auto* command = app.add_subcommand("can-connect", "Tell whether a URL answers a HEAD request");
  command->add_option("URL", *url, "Address to try")->required();
  command->callback([&options, url] {
    AnswerByExitStatus(options);
    auto net = Create<_QXNet>("QXNet.QXNet");
    qx::BStr address = qx::BStr::FromUtf8(*url);
    VARIANT_BOOL answer = VARIANT_FALSE;
    Call("CanConnect", [&] { return net->CanConnect(address.Get(), &answer); });
    PrintAnswer(options, {{"url", *url}}, "reachable", answer == VARIANT_TRUE, "reachable",
                "not reachable");
  });
}

void AddProbe(CLI::App& app, GlobalOptions& options) {
  struct Args {
    std::string host;
    long port = 0;
    long timeout = 5000;
  };
  auto args = std::make_shared<Args>();
  auto* command = app.add_subcommand(
      "probe", "Tell whether HOST accepts TCP connections on PORT within a time limit");
  command->add_option("HOST", args->host, "Host name or dotted IPv4 address")->required();
  command->add_option("PORT", args->port, "TCP port (1-65535)")->required();
  command->add_option("--timeout", args->timeout, "Time limit in milliseconds (-1: no limit)")
      ->capture_default_str();
  command->callback([&options, args] {
    AnswerByExitStatus(options);
    auto net = Create<_QXNet>("QXNet.QXNet");
    // AttemptConnect is reachable only through _QXNetConnect.
    qx::ComPtr<_QXNetConnect> connect;
    Call("QueryInterface(_QXNetConnect)", [&] { return net.As(connect); });
    qx::BStr host = qx::BStr::FromUtf8(args->host);
    VARIANT_BOOL answer = VARIANT_FALSE;
    ClearErrorRecord();
    const HRESULT hr = connect->AttemptConnect(host.Get(), static_cast<LONG>(args->port),
                                               static_cast<LONG>(args->timeout), &answer);
    // The library refuses a host or port that cannot be a connection target.
    if (hr == E_INVALIDARG)
      throw UsageError("Invalid host or port: " + args->host + " " + std::to_string(args->port));
    Check(hr, "AttemptConnect");
    PrintAnswer(options, {{"host", args->host}, {"port", args->port}, {"timeout", args->timeout}},
                "connected", answer == VARIANT_TRUE, "open", "closed");
  });
}

void AddValidate(CLI::App& app, GlobalOptions& options) {
  auto url = std::make_shared<std::string>();
  auto* command =
      app.add_subcommand("validate", "Tell whether a URL is an acceptable http or https URL");
  command->add_option("URL", *url, "Address to check")->required();
  command->callback([&options, url] {
    AnswerByExitStatus(options);
    auto net = Create<_QXNet>("QXNet.QXNet");
    qx::BStr address = qx::BStr::FromUtf8(*url);
    // ValidateUrl fails with E_FAIL and its reason in the error record when
    // the URL is not acceptable: that is the answer "no", not a failure.
    ClearErrorRecord();
    const HRESULT hr = net->ValidateUrl(address.Get());
    if (hr != E_FAIL) Check(hr, "ValidateUrl");
    nlohmann::json document = {{"url", *url}};
    if (FAILED(hr)) {
      const std::string reason = TakeErrorDescription();
      document["reason"] = reason;
      if (!options.json) std::fprintf(stderr, "qxnet: %s\n", reason.c_str());
    }
    PrintAnswer(options, document, "valid", SUCCEEDED(hr), "valid", "invalid");
  });
}

}  // namespace

void AddConnectivityCommands(CLI::App& app, GlobalOptions& options) {
  AddOnline(app, options);
  AddCanConnect(app, options);
  AddProbe(app, options);
  AddValidate(app, options);
}

}  // namespace qxcli
