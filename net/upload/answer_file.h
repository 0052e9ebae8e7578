// The file that receives a server's answer to an upload when the caller
// names none: created in one step under a fresh unique name, never by
// removing whatever stands at a name someone else could guess.
#pragma once

#include <string>

#include "net/upload/unique_fd.h"

namespace qx::net {

struct AnswerFile {
  std::string path;  // <temporary folder>/qxN<unique>.htm
  UniqueFd fd;       // open for writing, the file is empty
};

// Creates a new empty file "qxN" + six unique characters + ".htm" in the
// temporary folder with O_CREAT | O_EXCL (a file or link already standing at
// a name is never opened, followed or removed) and mode 0600. Throws
// UploadError "Unable to get temporary path" when no file can be made there.
AnswerFile CreateUploadAnswerFile();

}  // namespace qx::net
