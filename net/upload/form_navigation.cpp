// Detached start of the browser stand-in with a form body.
#include "net/upload/form_navigation.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "net/upload/temporary_folder.h"
#include "net/upload/unique_fd.h"
#include "net/upload/upload_error.h"
#include "qxnet/platform.h"

extern char** environ;

namespace qx::net {
namespace {

constexpr char kHelperName[] = "qxnet-navigate";

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string LibraryFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&FindNavigateHelper), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}

[[noreturn]] void FailCreate(HRESULT code) {
  throw UploadError("Unable to create WebBrowser object: " + std::to_string(code));
}

// A descriptor at 3 or above, so that it cannot collide with the standard
// descriptors the helper is given.
UniqueFd AboveStandardDescriptors(UniqueFd fd) {
  if (!fd.valid() || fd.get() > 2) return fd;
  return UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}

// The body goes into a private file that is unlinked at once; the helper
// reads it from its standard input, and the space is freed when it exits.
UniqueFd WriteBodyFile(const std::string& body) {
  std::string pattern = TemporaryFolder();
  if (pattern.back() != '/') pattern.push_back('/');
  pattern += "qxNpostXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.valid()) throw UploadError("Unable to package post data");
  ::unlink(name.data());
  size_t done = 0;
  while (done < body.size()) {
    const ssize_t n = ::write(fd.get(), body.data() + done, body.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw UploadError("Unable to package post data");
    done += static_cast<size_t>(n);
  }
  if (::lseek(fd.get(), 0, SEEK_SET) != 0) throw UploadError("Unable to package post data");
  fd = AboveStandardDescriptors(std::move(fd));
  if (!fd.valid()) throw UploadError("Unable to package post data");
  return fd;
}

// Only async-signal-safe calls from here on: the caller may have threads.
[[noreturn]] void ExecHelper(const char* helper, char* const* argv, int bodyFd, int nullFd,
                             int errorFd, int descriptorLimit) {
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  if (::dup2(bodyFd, 0) < 0 || ::dup2(nullFd, 1) < 0) {
    const int error = errno;
    (void)!::write(errorFd, &error, sizeof error);
    _exit(127);
  }
  // Nothing else of the caller's (sockets, files) may live on in the helper.
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */) != 0)
#endif
  {
    for (int fd = 3; fd < descriptorLimit; ++fd) {
      if (fd != errorFd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  ::execve(helper, argv, environ);
  const int error = errno;
  (void)!::write(errorFd, &error, sizeof error);
  _exit(127);
}

}  // namespace

std::string FindNavigateHelper() {
  if (const char* forced = std::getenv("QXNET_NAVIGATE"); forced != nullptr && *forced != '\0') {
    return IsExecutableFile(forced) ? std::string(forced) : std::string();
  }
  if (const std::string folder = LibraryFolder(); !folder.empty()) {
    for (const char* relative : {"/../bin/", "/../../bin/", "/"}) {
      std::string candidate = folder + relative + kHelperName;
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      std::string folder = list.substr(start, end - start);
      if (folder.empty()) folder = ".";
      std::string candidate = folder + "/" + kHelperName;
      if (IsExecutableFile(candidate)) return candidate;
      start = end + 1;
    }
  }
  return {};
}

void NavigateWithPostData(const FormNavigation& request) {
  const std::string helper = FindNavigateHelper();
  if (helper.empty()) FailCreate(REGDB_E_CLASSNOTREG);

  UniqueFd body = WriteBodyFile(request.postData);
  UniqueFd devNull = AboveStandardDescriptors(UniqueFd(::open("/dev/null", O_RDWR | O_CLOEXEC)));
  int pipeFds[2];
  if (!devNull.valid() || ::pipe2(pipeFds, O_CLOEXEC) != 0) FailCreate(E_FAIL);
  UniqueFd errorRead(pipeFds[0]);
  UniqueFd errorWrite = AboveStandardDescriptors(UniqueFd(pipeFds[1]));
  if (!errorWrite.valid()) FailCreate(E_FAIL);

  // Everything the children need is made before fork.
  std::vector<std::string> arguments{helper};
  if (request.visible) arguments.push_back("--visible");
  if (!request.headers.empty()) {
    arguments.push_back("--header");
    arguments.push_back(request.headers);
  }
  arguments.push_back("--");
  arguments.push_back(request.url);
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  long openMax = ::sysconf(_SC_OPEN_MAX);
  if (openMax < 0 || openMax > 65536) openMax = 65536;
  const int descriptorLimit = static_cast<int>(openMax);

  // Fork twice: the middle process starts a new session, forks the helper
  // and exits at once, so the helper is adopted by init and never becomes a
  // zombie of the caller's process.
  const pid_t middle = ::fork();
  if (middle < 0) FailCreate(errno == ENOMEM || errno == EAGAIN ? E_OUTOFMEMORY : E_FAIL);
  if (middle == 0) {
    ::setsid();
    const pid_t child = ::fork();
    if (child < 0) {
      const int error = errno;
      (void)!::write(errorWrite.get(), &error, sizeof error);
      _exit(1);
    }
    if (child == 0) {
      ExecHelper(helper.c_str(), argv.data(), body.get(), devNull.get(), errorWrite.get(),
                 descriptorLimit);
    }
    _exit(0);
  }

  errorWrite.Reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe reaches end of file when the helper's exec succeeded (the
  // write end is close-on-exec); an error number arrives when it did not.
  int childError = 0;
  ssize_t n;
  do {
    n = ::read(errorRead.get(), &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  if (n > 0) FailCreate(childError == ENOMEM || childError == EAGAIN ? E_OUTOFMEMORY : E_FAIL);
}

}  // namespace qx::net
