#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/child_processes.h"

namespace clitest {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args, std::vector<std::string>& storage) {
  storage.clear();
  storage.push_back(QXTEST_QXNET_BINARY);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

// Reads from both descriptors until both are closed, or until `until`
// appears in the error text, or no data came for `idle_ms`.
bool Pump(int out_fd, int err_fd, std::string& out, std::string& err, const std::string& until,
          int idle_ms) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  char buffer[4096];
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (!until.empty() && err.find(until) != std::string::npos) return true;
    const int ready = poll(fds, 2, idle_ms);
    if (ready <= 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        fds[i].fd = -1;
        continue;
      }
      (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
    }
  }
  return until.empty() || err.find(until) != std::string::npos;
}

pid_t Spawn(const std::vector<std::string>& args, const EnvOverrides& env, int* out_fd,
            int* err_fd) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return -1;
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(args, storage);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  *out_fd = out_pipe[0];
  *err_fd = err_pipe[0];
  return pid;
}

}  // namespace

nlohmann::json RunResult::Json() const {
  nlohmann::json document = nlohmann::json::parse(out, nullptr, false);
  EXPECT_FALSE(document.is_discarded()) << "not JSON: " << out;
  return document;
}

std::map<std::string, std::string> StatusByGuid(const nlohmann::json& document) {
  std::map<std::string, std::string> statuses;
  for (const auto& item : document["items"]) statuses[item["guid"]] = item["status"];
  return statuses;
}

RunResult RunQxnet(const std::vector<std::string>& args, const EnvOverrides& env) {
  return RunningQxnet(args, env).Finish();
}

nlohmann::json RunQxnetJson(const std::vector<std::string>& args, const EnvOverrides& env) {
  std::vector<std::string> with_json = {"--json"};
  with_json.insert(with_json.end(), args.begin(), args.end());
  const RunResult result = RunQxnet(with_json, env);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.Json();
}

RunningQxnet::RunningQxnet(const std::vector<std::string>& args, const EnvOverrides& env) {
  pid_ = Spawn(args, env, &out_fd_, &err_fd_);
}

RunningQxnet::~RunningQxnet() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

bool RunningQxnet::WaitForError(const std::string& text) {
  return Pump(out_fd_, err_fd_, out_, err_, text, 60000);
}

void RunningQxnet::Signal(int signal_number) { kill(pid_, signal_number); }

RunResult RunningQxnet::Finish() {
  RunResult result;
  if (pid_ < 0) return result;
  Pump(out_fd_, err_fd_, out_, err_, {}, -1);
  result.exit_code = qxtest::WaitForExitCode(pid_);
  pid_ = -1;
  result.out = out_;
  result.err = err_;
  return result;
}

RunResult RunQxnetOnTerminal(const std::vector<std::string>& args) {
  RunResult result;
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(args, storage);
  int master = -1;
  winsize size{};
  size.ws_col = 100;
  size.ws_row = 30;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    setenv("TERM", "xterm", 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child has closed the terminal
    result.out.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  result.exit_code = qxtest::WaitForExitCode(pid);
  return result;
}

}  // namespace clitest
