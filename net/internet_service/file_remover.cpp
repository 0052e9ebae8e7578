#include "net/internet_service/file_remover.h"

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace qx::inet {
namespace {

class FileRemover {
 public:
  ~FileRemover() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!worker_ || owner_ != getpid()) return;
    stopping_ = true;
    wake_.notify_all();
    lock.unlock();
    worker_->join();
  }

  void Add(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ != getpid()) {
      // A child made by fork has no copy of its parent's thread; the
      // parent's queue is the parent's.
      (void)worker_.release();
      queue_.clear();
      owner_ = getpid();
    }
    queue_.push_back(std::move(path));
    if (!worker_) worker_ = std::make_unique<std::thread>([this] { Run(); });
    wake_.notify_all();
  }

  void Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (owner_ != getpid()) return;
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping with nothing left
      const std::string path = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      lock.unlock();
      unlink(path.c_str());
      lock.lock();
      busy_ = false;
      if (queue_.empty()) idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::string> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::unique_ptr<std::thread> worker_;
  pid_t owner_ = getpid();
};

FileRemover& Remover() {
  static FileRemover remover;
  return remover;
}

}  // namespace

void RemoveUnusedFile(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return;
  if (!S_ISREG(info.st_mode) || info.st_size < kRemoveLaterSize) {
    unlink(path.c_str());
    return;
  }
  Remover().Add(path);
}

void WaitForRemovals() { Remover().Drain(); }

}  // namespace qx::inet
