// qxnet keygen --key FILE
// qxnet sign --key FILE [--url URL] [--type TYPE] PAYLOAD
//
// The publisher's side of verified updates: a new Ed25519 key pair (the
// private half in a file only its owner can read, the public half printed
// for the product's installer), and the enclosure line of a feed item for a
// payload, with its length, SHA-256 and signature.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "feed/payload_crypto.h"
#include "feed/payload_file.h"
#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/commands.h"

namespace qxcli {

namespace {

namespace feed = qx::feed;

// Writes a new file readable by its owner only; an existing file is never
// replaced, so a key cannot be lost by a repeated command.
void WritePrivateFile(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) throw UsageError(path + " exists already; choose another key file");
    throw std::runtime_error("Unable to create " + path + ": " + std::strerror(errno));
  }
  const bool written =
      write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  const int error = errno;
  if (close(fd) != 0 || !written) {
    unlink(path.c_str());
    throw std::runtime_error("Unable to write " + path + ": " + std::strerror(error));
  }
}

std::string ReadKeyFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("Unable to read the key file " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AttributeText(const std::string& value) {
  std::string text;
  for (char c : value) {
    switch (c) {
      case '&':
        text += "&amp;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      case '"':
        text += "&quot;";
        break;
      default:
        text += c;
    }
  }
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct SignArgs {
  std::string key;
  std::string payload;
  std::string url;
  std::string type = "application/octet-stream";
};

void RunSign(const GlobalOptions& options, const SignArgs& args) {
  const std::string privateKey = ReadKeyFile(args.key);
  feed::PayloadFile file(args.payload);
  feed::Sha256 sha;
  // The signature needs the whole file in one call: a mapped private copy.
  feed::PayloadSnapshot snapshot(file, file.Size(),
                                 [&](std::string_view bytes) { sha.Update(bytes); });
  const std::string digest = feed::HexEncode(sha.Final());
  const std::string signature = feed::Base64Encode(feed::Ed25519Sign(privateKey, snapshot.Bytes()));
  const std::string publicKey = feed::Base64Encode(feed::Ed25519PublicKeyOf(privateKey));
  const std::string length = std::to_string(snapshot.Bytes().size());
  const std::string url = args.url.empty() ? BaseName(args.payload) : args.url;
  const std::string enclosure = "<enclosure url=\"" + AttributeText(url) + "\" length=\"" + length +
                                "\" type=\"" + AttributeText(args.type) +
                                "\" xmlns:qx=\"urn:qxnet:updates:1\" qx:sha256=\"" + digest +
                                "\" qx:edSignature=\"" + signature + "\"/>";
  if (options.json) {
    PrintJson({{"file", args.payload},
               {"length", snapshot.Bytes().size()},
               {"sha256", digest},
               {"edSignature", signature},
               {"publicKey", publicKey},
               {"enclosure", enclosure}});
    return;
  }
  std::printf("%s\n", enclosure.c_str());
}

}  // namespace

void AddSigningCommands(CLI::App& app, const GlobalOptions& options) {
  auto key_file = std::make_shared<std::string>();
  auto* keygen = app.add_subcommand(
      "keygen", "Make an Ed25519 key pair for signing updates; prints the public key");
  keygen->add_option("--key", *key_file, "The new private key file (created, owner-only)")
      ->required();
  keygen->footer(
      "The public key (Base64) goes into the product's registry value \"Update Public Key\"\n"
      "under HKLM\\SOFTWARE\\Corvane\\Corvane\\Internal.");
  keygen->callback([&options, key_file] {
    const feed::Ed25519KeyPair pair = feed::Ed25519Generate();
    WritePrivateFile(*key_file, pair.privateKeyPem);
    const std::string publicKey = feed::Base64Encode(pair.publicKey);
    if (options.json) {
      PrintJson({{"keyFile", *key_file}, {"publicKey", publicKey}});
    } else {
      std::printf("%s\n", publicKey.c_str());
    }
  });

  auto args = std::make_shared<SignArgs>();
  auto* sign = app.add_subcommand(
      "sign",
      "Print the <enclosure> line of a feed item for a payload: length, SHA-256, signature");
  sign->add_option("--key", args->key, "The private key file made by keygen")->required();
  sign->add_option("--url", args->url, "The payload's address in the feed (default: its name)");
  sign->add_option("--type", args->type, "The payload's media type")->capture_default_str();
  sign->add_option("PAYLOAD", args->payload, "The file to sign")->required();
  sign->callback([&options, args] { RunSign(options, *args); });
}

}  // namespace qxcli
