// qxnet-navigate: posts a form (body on standard input) to a URL, keeps the
// answer page in the temporary folder and, with --visible, shows it with the
// desktop's opener. Prints the answer page's path. Exit status 0 when the
// exchange completed, 1 when it failed (a page saying why is kept), 2 for a
// command line it does not understand.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/browser/answer_page.h"
#include "platform/browser/desktop_opener.h"
#include "platform/browser/form_post.h"
#include "platform/browser/navigate_options.h"

int main(int argc, char** argv) {
  const auto options = qxnav::ParseNavigateOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr, "usage: qxnet-navigate [--visible] [--header TEXT]... [--] URL < body\n");
    return 2;
  }

  const qxnav::AnswerPage page = qxnav::CreateAnswerPage();
  if (page.fd < 0) {
    std::perror("qxnet-navigate: cannot create the answer page");
    return 1;
  }

  std::string error;
  const bool posted =
      qxnav::PostForm(options->url, options->headers, STDIN_FILENO, page.fd, &error);
  if (!posted) {
    qxnav::WriteFailurePage(page.fd, options->url, error);
    std::fprintf(stderr, "qxnet-navigate: %s: %s\n", options->url.c_str(), error.c_str());
  }
  ::close(page.fd);
  std::printf("%s\n", page.path.c_str());
  std::fflush(stdout);

  if (options->visible) qxnav::OpenWithDesktop(page.path);
  return posted ? 0 : 1;
}
