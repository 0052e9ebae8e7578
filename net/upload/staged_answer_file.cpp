// Staging file and atomic replacement for a caller-named upload answer.
#include "net/upload/staged_answer_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "net/upload/unique_fd.h"
#include "net/upload/upload_error.h"
#include "platform/file_path.h"

namespace qx::net {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& destination, int error) {
  throw UploadError(std::string(what) + ":\n   " + destination + "\n" + std::strerror(error));
}

}  // namespace

StagedAnswerFile::StagedAnswerFile(std::string destination) : destination_(std::move(destination)) {
  std::string pattern = FolderOf(destination_) + "/.qxN-answer-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.valid()) Fail("Unable to open output file", destination_, errno);
  staging_ = name.data();
}

StagedAnswerFile::~StagedAnswerFile() {
  if (!committed_ && !staging_.empty()) ::unlink(staging_.c_str());
}

void StagedAnswerFile::Commit() {
  UniqueFd fd(::open(staging_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid() || ::fsync(fd.get()) != 0)
    Fail("Unable to write output file", destination_, errno);
  fd.Reset();
  if (::rename(staging_.c_str(), destination_.c_str()) != 0) {
    Fail("Unable to write output file", destination_, errno);
  }
  committed_ = true;
  // The new name is made durable with its folder.
  UniqueFd folder(::open(FolderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
}

}  // namespace qx::net
