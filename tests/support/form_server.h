// A form target on 127.0.0.1: records the POST it receives and answers with
// a small page. It can hold its answer back until the test says that the
// posting call has returned, which shows whether the call waited for it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "tests/support/loopback_server.h"

namespace qxtest {

struct ReceivedPost {
  std::string body;
  std::string contentType;
  std::string userAgent;
  bool callHadReturned = false;  // the test had marked the call returned
};

class FormServer {
 public:
  static constexpr char kAnswerPage[] = "<html><body>form received</body></html>";

  FormServer();
  ~FormServer();

  std::string Url() const;
  // Marks that the posting call has returned.
  void MarkCallReturned();
  // Waits (up to a minute) for the first POST; false when none came.
  bool WaitForPost(ReceivedPost* post);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool callReturned_ = false;
  bool received_ = false;
  ReceivedPost post_;
  LoopbackServer server_;  // last: stopped before the state its handler uses
};

}  // namespace qxtest
