// The subcommands of qxnet. Each Add... function declares its commands on
// the application; the callbacks run after the whole command line parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "tools/qxnet/cli_errors.h"
#include "tools/qxnet/progress_display.h"

namespace qxcli {

// Options that every command understands.
struct GlobalOptions {
  bool json = false;         // machine-readable output on standard output
  bool no_progress = false;  // no progress bar on standard error
  bool progress = false;     // progress lines even when standard error is no terminal
  // The yes/no commands answer through the exit status as well: they set
  // the status of a "no" here, and the status of a failure (which then must
  // differ from "no").
  int answer_status = kExitOk;
  int failure_status = kExitCallFailed;
};

// How a command shows progress: never with --no-progress or --json; without
// --progress only when standard error is a terminal (so scripts and logs get
// no progress lines unless they ask for them).
ProgressDisplay::Mode ProgressMode(const GlobalOptions& options);

// Prints a JSON document (one line per document) on standard output.
void PrintJson(const nlohmann::json& document);

void AddRegistrationCommands(CLI::App& app, const GlobalOptions& options);  // register, unregister
void AddTransferCommands(CLI::App& app,
                         const GlobalOptions& options);  // get, cache-info, upload, upload-form
void AddConnectivityCommands(CLI::App& app,
                             GlobalOptions& options);  // online, can-connect, probe, validate
void AddDotNetCommand(CLI::App& app, const GlobalOptions& options);     // dotnet
void AddUpdateCommand(CLI::App& app, const GlobalOptions& options);     // update
void AddRegistryCommand(CLI::App& app, const GlobalOptions& options);   // reg
void AddDispatchCommands(CLI::App& app, const GlobalOptions& options);  // call, describe
void AddDemoCommand(CLI::App& app, const GlobalOptions& options);       // demo
void AddCacheCommand(CLI::App& app, const GlobalOptions& options);      // cache
void AddSigningCommands(CLI::App& app, const GlobalOptions& options);   // keygen, sign

}  // namespace qxcli
