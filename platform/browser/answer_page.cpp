#include "platform/browser/answer_page.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qxnav {
namespace {

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

AnswerPage CreateAnswerPage() {
  static constexpr char kSuffix[] = ".htm";
  const char* value = std::getenv("TMPDIR");
  std::string folder = (value != nullptr && *value != '\0') ? value : "/tmp";
  if (folder.back() != '/') folder.push_back('/');
  const std::string pattern = folder + "qxNXXXXXX" + kSuffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemps(name.data(), sizeof(kSuffix) - 1, O_CLOEXEC);
  if (fd < 0) return {};
  return AnswerPage{std::string(name.data()), fd};
}

void WriteFailurePage(int fd, const std::string& url, const std::string& reason) {
  const std::string page = "<html><head><title>Navigation failed</title></head><body><p>" +
                           HtmlEscape(url) + "</p><p>" + HtmlEscape(reason) +
                           "</p></body></html>\n";
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return;
  size_t done = 0;
  while (done < page.size()) {
    const ssize_t n = ::write(fd, page.data() + done, page.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace qxnav
