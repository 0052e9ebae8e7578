#include "platform/browser/form_post.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qxnav {
namespace {

size_t ReadBody(char* buffer, size_t size, size_t count, void* context) {
  const int fd = *static_cast<int*>(context);
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size * count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return CURL_READFUNC_ABORT;
  }
}

size_t WriteAnswer(char* data, size_t size, size_t count, void* context) {
  const int fd = *static_cast<int*>(context);
  const size_t total = size * count;
  size_t done = 0;
  while (done < total) {
    const ssize_t n = ::write(fd, data + done, total - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;  // makes curl stop with a write error
    done += static_cast<size_t>(n);
  }
  return total;
}

}  // namespace

bool PostForm(const std::string& url, const std::vector<std::string>& headers, int bodyFd,
              int answerFd, std::string* error) {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    *error = "the HTTP library cannot be started";
    return false;
  }
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    curl_global_cleanup();
    *error = "the HTTP library cannot be started";
    return false;
  }

  curl_slist* headerList = nullptr;
  for (const std::string& line : headers) headerList = curl_slist_append(headerList, line.c_str());
  // A browser sends the body at once, without waiting for "100 Continue".
  headerList = curl_slist_append(headerList, "Expect:");

  // A regular file says how long the body is; anything else is sent chunked.
  struct stat info {};
  curl_off_t bodyLength = -1;
  if (::fstat(bodyFd, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t at = ::lseek(bodyFd, 0, SEEK_CUR);
    bodyLength = static_cast<curl_off_t>(info.st_size - (at > 0 ? at : 0));
  }

  char errorText[CURL_ERROR_SIZE] = {0};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadBody);
  curl_easy_setopt(curl, CURLOPT_READDATA, &bodyFd);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, bodyLength);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteAnswer);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answerFd);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  // A server that stops answering does not keep the helper forever.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 300L);

  const CURLcode result = curl_easy_perform(curl);
  if (result != CURLE_OK) *error = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);

  curl_slist_free_all(headerList);
  curl_easy_cleanup(curl);
  curl_global_cleanup();
  return result == CURLE_OK;
}

}  // namespace qxnav
