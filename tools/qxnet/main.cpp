// qxnet: the command-line host of the QXNet library.
#include <clocale>
#include <cstdio>
#include <exception>

#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/commands.h"
#include "tools/qxnet/interrupt_flag.h"

namespace qxcli {

void PrintJson(const nlohmann::json& document) {
  const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

namespace {

// Failures go to standard error as text; with --json they are also printed
// as {"error": {...}} on standard output so scripts can read them.
int Fail(const GlobalOptions& options, int status, const std::string& description,
         const std::string& code = {}) {
  std::fflush(stdout);
  std::fprintf(stderr, "qxnet: %s\n", description.c_str());
  if (options.json) {
    nlohmann::json error = {{"description", description}, {"exit", status}};
    if (!code.empty()) error["code"] = code;
    PrintJson({{"error", error}});
  }
  return status;
}

int Run(int argc, char** argv) {
  GlobalOptions options;
  CLI::App app{
      "qxnet: downloads, uploads, connectivity checks, update feeds and late-bound "
      "calls through the QXNet component library"};
  app.name("qxnet");
  app.require_subcommand(1);
  app.fallthrough();
  app.add_flag("--json", options.json, "Machine-readable output (JSON on standard output)");
  app.add_flag("--no-progress", options.no_progress, "Do not draw the progress bar");
  app.add_flag("--progress", options.progress,
               "Show progress lines even when standard error is not a terminal");
  app.set_version_flag("--version", "qxnet " QXNET_VERSION);

  AddRegistrationCommands(app, options);
  AddTransferCommands(app, options);
  AddConnectivityCommands(app, options);
  AddDotNetCommand(app, options);
  AddUpdateCommand(app, options);
  AddRegistryCommand(app, options);
  AddDispatchCommands(app, options);
  AddDemoCommand(app, options);
  AddCacheCommand(app, options);
  AddSigningCommands(app, options);

  try {
    app.parse(argc, argv);
    return options.answer_status;
  } catch (const CLI::CallForHelp&) {
    std::printf("%s", app.help().c_str());
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::printf("%s", app.help("", CLI::AppFormatMode::All).c_str());
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    // Help requested for a subcommand arrives here as well.
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      app.exit(error);
      return kExitOk;
    }
    Fail(options, kExitUsage, error.what());
    std::fprintf(stderr, "Run `qxnet --help` for the list of commands.\n");
    return kExitUsage;
  } catch (const UsageError& error) {
    return Fail(options, kExitUsage, error.what());
  } catch (const Cancelled& error) {
    return Fail(options, kExitCancelled, error.what());
  } catch (const CallFailed& error) {
    return Fail(options, options.failure_status, error.what(), HresultText(error.Code()));
  } catch (const std::exception& error) {
    return Fail(options, options.failure_status, error.what());
  }
}

}  // namespace
}  // namespace qxcli

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  qxcli::InstallInterruptHandler();
  // Run reports the failures of a command; this catches what escapes it
  // (building the command line's description, reporting itself).
  try {
    return qxcli::Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qxnet: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "qxnet: unexpected failure\n");
  }
  return qxcli::kExitCallFailed;
}
