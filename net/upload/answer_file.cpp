// Unique answer files for uploads.
#include "net/upload/answer_file.h"

#include <fcntl.h>
#include <stdlib.h>

#include <vector>

#include "net/upload/temporary_folder.h"
#include "net/upload/upload_error.h"

namespace qx::net {

AnswerFile CreateUploadAnswerFile() {
  static constexpr char kSuffix[] = ".htm";
  std::string folder = TemporaryFolder();
  if (folder.back() != '/') folder.push_back('/');
  const std::string pattern = folder + "qxNXXXXXX" + kSuffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');

  // mkostemps draws a random name and creates it with O_EXCL and mode 0600,
  // retrying on a name that is taken.
  const int fd = ::mkostemps(name.data(), sizeof(kSuffix) - 1, O_CLOEXEC);
  if (fd < 0) throw UploadError("Unable to get temporary path");
  return AnswerFile{std::string(name.data()), UniqueFd(fd)};
}

}  // namespace qx::net
