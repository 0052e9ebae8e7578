// Sends the form: an HTTP POST of the body read from a descriptor, with the
// given header lines, the product's user agent, redirects followed the way a
// browser does (http and https only), certificates verified; the answer body
// is written to another descriptor as it arrives.
#pragma once

#include <string>
#include <vector>

namespace qxnav {

inline constexpr char kUserAgent[] = "Corvane 11.0.6.5036";

// True when the exchange completed (whatever the HTTP status: the answer
// page is shown as the server sent it). On failure `error` tells why.
bool PostForm(const std::string& url, const std::vector<std::string>& headers, int bodyFd,
              int answerFd, std::string* error);

}  // namespace qxnav
