// Hands a form upload to the browser stand-in, the helper program
// qxnet-navigate: it is started detached and sends the POST by itself, so
// the call returns as soon as the helper is running and never waits for the
// navigation.
#pragma once

#include <string>

namespace qx::net {

struct FormNavigation {
  std::string url;       // where the form is posted
  std::string headers;   // request header lines, separated by CR LF
  std::string postData;  // the body bytes, sent unchanged
  bool visible = false;  // show the answer page with the desktop's opener
};

// Where the helper is looked for, first match wins: $QXNET_NAVIGATE; next to
// the library's own folder in ../bin (and ../../bin for multiarch library
// folders) or in the same folder; then every folder of $PATH. Returns an
// empty string when no executable helper is found.
std::string FindNavigateHelper();

// Starts `qxnet-navigate [--visible] --header <headers> -- <url>` in its own
// session, detached (nothing has to wait for it), with the body on its
// standard input through an already-unlinked private temporary file (the body
// is never on a command line), standard output on /dev/null, and no other
// descriptor of this process. Returns once the helper program is running.
// Throws UploadError:
//   "Unable to package post data"               the body file cannot be made
//   "Unable to create WebBrowser object: %d"    no helper, or it cannot be
//     started; %d is REGDB_E_CLASSNOTREG when there is no helper, else
//     E_OUTOFMEMORY or E_FAIL, as a signed decimal number
void NavigateWithPostData(const FormNavigation& request);

}  // namespace qx::net
