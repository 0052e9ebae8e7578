#include "feed/xml_dom/atomic_file_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "feed/xml_dom/dom_error.h"
#include "feed/xml_dom/errno_result.h"
#include "platform/file_path.h"
#include "qxnet/text.h"

namespace qx::xml {
namespace {

constexpr size_t kBufferSize = size_t{64} * 1024;

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a link may be followed, by the rule of the kernel's protected
// links: in a sticky, world-writable folder only a link owned by the folder's
// owner or by the caller is followed, so another user cannot point a save at
// a file of the caller's choosing.
bool MayFollowLink(const struct stat& link, const std::string& folder) {
  struct stat dir {};
  if (stat(folder.c_str(), &dir) != 0) return false;
  const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == dir.st_uid || link.st_uid == geteuid();
}

constexpr int kMaxLinks = 40;  // as the kernel's limit for a path

}  // namespace

// The file a path finally names: symbolic links are resolved so that saving
// replaces the linked file and keeps the link. A dangling link is replaced.
std::string AtomicFileWriter::ResolveTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0) {
      // A dangling link is replaced itself; no file appears where it points.
      return hops == 0 ? current : path;
    }
    if (!S_ISLNK(st.st_mode)) return current;
    const std::string folder = FolderOf(current);
    if (!MayFollowLink(st, folder)) {
      target_ = path;
      Fail("the path is a link owned by another user in a shared folder", EACCES);
    }
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t length = readlink(current.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<size_t>(length) >= link.size()) return current;
    link.resize(static_cast<size_t>(length));
    current = link.front() == '/' ? link : (folder == "/" ? "" : folder) + "/" + link;
  }
  target_ = path;
  Fail("the path has too many levels of links", ELOOP);
}

namespace {

constexpr size_t kSuffixLength = 6;
constexpr char kSuffixDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr time_t kStaleAfterSeconds = time_t{60} * 60;

// Temporary files of a save are ".<name>.tmp-" and six random characters.
std::string TempPrefix(const std::string& base) { return "." + base + ".tmp-"; }

bool IsTempName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kSuffixLength || name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (std::strchr(kSuffixDigits, name[i]) == nullptr || name[i] == '\0') return false;
  }
  return true;
}

// Removes what earlier saves of the same file left behind when they were
// killed: only the caller's own regular files with this file's temporary
// name, untouched for an hour (no save in progress takes that long).
void RemoveStaleTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = TempPrefix(BaseNameOf(target));
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsTempName(name, prefix)) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || now - st.st_mtime < kStaleAfterSeconds) {
      continue;
    }
    unlinkat(dirfd(dir), name.c_str(), 0);
  }
  closedir(dir);
}

std::string RandomSuffix() {
  unsigned char bytes[6];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    static unsigned long counter = 0;
    const unsigned long mix = (static_cast<unsigned long>(getpid()) << 20) ^ ++counter ^
                              static_cast<unsigned long>(time(nullptr));
    std::memcpy(bytes, &mix, sizeof bytes);
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix.push_back(kSuffixDigits[b % 36]);
  return suffix;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path, std::optional<mode_t> new_file_mode) {
  if (path.empty()) throw DomError(u"No file name was given for saving.", E_INVALIDARG);
  target_ = ResolveTarget(path);
  struct stat existing {};
  const bool exists = stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail("the path names a folder", EISDIR);

  const std::string folder = FolderOf(target_);
  const std::string prefix = TempPrefix(BaseNameOf(target_));
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = (folder == "/" ? std::string() : folder) + "/" + prefix + RandomSuffix();
    // 0666 lets the umask (and a default ACL) decide, as for any new file.
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0 && errno != EEXIST) {
      const int error = errno;
      temp_.clear();
      Fail("the temporary file cannot be created", error);
    }
  }
  if (fd_ < 0) {
    temp_.clear();
    Fail("the temporary file cannot be created", EEXIST);
  }
  std::optional<mode_t> mode;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else if (new_file_mode) {
    mode = *new_file_mode & 07777;
  }
  if (mode && fchmod(fd_, *mode) != 0) {
    // The destructor does not run for a constructor that throws.
    const int error = errno;
    close(fd_);
    fd_ = -1;
    unlink(temp_.c_str());
    temp_.clear();
    Fail("the file mode cannot be set", error);
  }
  buffer_.reserve(kBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

void AtomicFileWriter::Write(const void* data, size_t size) {
  if (write_error_ != 0) return;
  const char* bytes = static_cast<const char*>(data);
  if (buffer_.size() + size > kBufferSize) {
    Flush();
    if (size >= kBufferSize) {
      buffer_.assign(bytes, bytes + size);
      Flush();
      return;
    }
  }
  buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void AtomicFileWriter::Flush() {
  size_t done = 0;
  while (write_error_ == 0 && done < buffer_.size()) {
    const ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno != EINTR) write_error_ = errno;
      continue;
    }
    if (n == 0) write_error_ = EIO;
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void AtomicFileWriter::Commit() {
  Flush();
  if (write_error_ != 0) Fail("the file cannot be written", write_error_);
  if (fsync(fd_) != 0) Fail("the file cannot be flushed to disk", errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) Fail("the file cannot be written", errno);
  if (rename(temp_.c_str(), target_.c_str()) != 0) Fail("the file cannot be replaced", errno);
  committed_ = true;
  RemoveStaleTemporaries(target_);
  // Make the rename itself durable; the new content is in place either way.
  const int folder = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

void AtomicFileWriter::Fail(const char* what, int error) {
  std::string text =
      "Unable to save the file \"" + target_ + "\": " + what + " (" + ErrnoText(error) + ").";
  throw DomError(Utf8ToUtf16(text), HResultFromErrno(error));
}

}  // namespace qx::xml
