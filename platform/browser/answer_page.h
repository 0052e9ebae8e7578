// The file that keeps the answer page: a new file "qxN<unique>.htm" in the
// temporary folder ($TMPDIR, else /tmp), created with O_EXCL and mode 0600.
#pragma once

#include <string>

namespace qxnav {

struct AnswerPage {
  std::string path;
  int fd = -1;  // open for writing; the caller closes it
};

// fd is -1 when no file could be made.
AnswerPage CreateAnswerPage();

// Replaces the page's content by a short HTML page telling why the answer
// could not be fetched.
void WriteFailurePage(int fd, const std::string& url, const std::string& reason);

}  // namespace qxnav
