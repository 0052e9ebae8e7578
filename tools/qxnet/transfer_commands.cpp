// qxnet get | cache-info | upload | upload-form
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

#include "net/download/output_file.h"
#include "qxnet/bstr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/object_creation.h"
#include "tools/qxnet/transfer.h"

namespace qxcli {

namespace {

const char* YesNo(VARIANT_BOOL value) { return value == VARIANT_TRUE ? "yes" : "no"; }

// The cached copy's file when the cache holds a copy of `url` that the
// server says is current; nullopt otherwise (a failed check included).
std::optional<std::string> CurrentCachedCopy(_QXNet* net, const std::string& url) {
  qx::BStr address = qx::BStr::FromUtf8(url);
  VARIANT_BOOL exists = VARIANT_FALSE, current = VARIANT_FALSE;
  qx::BStr file;
  if (net->GetCacheInfo(address.Get(), 0, &exists, &current, file.Put()) != S_OK ||
      exists != VARIANT_TRUE || current != VARIANT_TRUE || file.Utf8().empty()) {
    return std::nullopt;
  }
  return file.Utf8();
}

void AddGet(CLI::App& app, const GlobalOptions& options) {
  struct Args {
    std::string url, output;
    bool force = false;
  };
  auto args = std::make_shared<Args>();
  auto* command = app.add_subcommand(
      "get", "Download a URL (http or https) through the internet cache, with a progress bar");
  command->add_option("URL", args->url, "Address to download")->required();
  command->add_option("-o,--output", args->output,
                      "Copy the download to FILE (default: print the cache file's path)");
  command->add_flag("--force", args->force, "Download even when the cache holds a current copy");
  command->callback([&options, args] {
    auto net = Create<_QXNet>("QXNet.QXNet");
    std::optional<std::string> path;
    if (!args->force) path = CurrentCachedCopy(net.Get(), args->url);
    const bool reused = path.has_value();
    if (reused && !args->output.empty()) {
      if (!qx::net::CopyFileReplacing(*path, args->output)) {
        throw std::runtime_error("Unable to copy " + *path + " to " + args->output + ": " +
                                 std::strerror(errno));
      }
      path = args->output;
    }
    if (!reused) {
      ProgressDisplay display(stderr, ProgressMode(options));
      path = RetrieveWithProgress(net.Get(), args->url, args->output, display);
    }
    if (options.json)
      PrintJson({{"url", args->url}, {"file", *path}, {"reused", reused}});
    else
      std::printf("%s\n", path->c_str());
  });
}

void AddCacheInfo(CLI::App& app, const GlobalOptions& options) {
  auto url = std::make_shared<std::string>();
  auto* command = app.add_subcommand(
      "cache-info",
      "Tell whether the internet cache holds a copy of a URL and whether it is current");
  command->add_option("URL", *url, "Address to look up")->required();
  command->callback([&options, url] {
    auto net = Create<_QXNet>("QXNet.QXNet");
    qx::BStr address = qx::BStr::FromUtf8(*url);
    VARIANT_BOOL exists = VARIANT_FALSE, current = VARIANT_FALSE;
    qx::BStr file;
    Call("GetCacheInfo",
         [&] { return net->GetCacheInfo(address.Get(), 0, &exists, &current, file.Put()); });
    if (options.json) {
      PrintJson({{"url", *url},
                 {"exists", exists == VARIANT_TRUE},
                 {"current", current == VARIANT_TRUE},
                 {"file", file.Utf8()}});
    } else {
      std::printf("cached:  %s\ncurrent: %s\nfile:    %s\n", YesNo(exists), YesNo(current),
                  file.Utf8().c_str());
    }
  });
}

void AddUpload(CLI::App& app, const GlobalOptions& options) {
  struct Args {
    std::string file, url, answer;
  };
  auto args = std::make_shared<Args>();
  auto* command =
      app.add_subcommand("upload", "POST a file to a URL and keep the server's answer in a file");
  command->add_option("FILE", args->file, "File to send")->required();
  command->add_option("URL", args->url, "Address to post to")->required();
  command->add_option("-o,--output", args->answer,
                      "Write the server's answer to ANSWER (default: a temporary .htm file)");
  command->callback([&options, args] {
    auto net = Create<_QXNet>("QXNet.QXNet");
    ProgressDisplay display(stderr, ProgressMode(options));
    const std::string answer =
        UploadWithProgress(net.Get(), args->file, args->url, args->answer, display);
    if (options.json)
      PrintJson({{"file", args->file}, {"url", args->url}, {"answer", answer}});
    else
      std::printf("%s\n", answer.c_str());
  });
}

void AddUploadForm(CLI::App& app, const GlobalOptions& options) {
  struct Args {
    std::string file, url, field;
    bool show = false;
  };
  auto args = std::make_shared<Args>();
  auto* command = app.add_subcommand(
      "upload-form", "Post a file Base64-encoded as a form field through the browser helper");
  command->add_option("FILE", args->file, "File to send")->required();
  command->add_option("URL", args->url, "Address of the form's action")->required();
  command->add_option("--field", args->field, "Name of the form field")->required();
  command->add_flag("--show", args->show, "Open the server's answer page in a browser");
  command->callback([&options, args] {
    auto net = Create<_QXNet>("QXNet.QXNet");
    qx::BStr file = qx::BStr::FromUtf8(args->file);
    qx::BStr url = qx::BStr::FromUtf8(args->url);
    qx::BStr field = qx::BStr::FromUtf8(args->field);
    Call("UploadFileForm", [&] {
      return net->UploadFileForm(file.Get(), url.Get(), 0, field.Get(),
                                 args->show ? VARIANT_TRUE : VARIANT_FALSE);
    });
    if (options.json)
      PrintJson(
          {{"file", args->file}, {"url", args->url}, {"field", args->field}, {"posted", true}});
    else
      std::printf("Posted %s to %s as field %s\n", args->file.c_str(), args->url.c_str(),
                  args->field.c_str());
  });
}

}  // namespace

void AddTransferCommands(CLI::App& app, const GlobalOptions& options) {
  AddGet(app, options);
  AddCacheInfo(app, options);
  AddUpload(app, options);
  AddUploadForm(app, options);
}

}  // namespace qxcli
