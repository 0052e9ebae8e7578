#include "tools/qxnet/progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qxcli {

namespace {

constexpr int kBarCells = 24;

long Clamp(long progress) { return std::clamp(progress, 0L, 100L); }

// "Downloading file (8 kb/200 kb)" -> "Downloading file": the part of a
// title that stays the same while the byte counts move.
std::string_view Stem(std::string_view title) {
  const size_t open = title.find(" (");
  return open == std::string_view::npos ? title : title.substr(0, open);
}

}  // namespace

ProgressDisplay::Mode ProgressDisplay::ModeFor(std::FILE* out) {
  if (!isatty(fileno(out))) return Mode::Lines;
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::strcmp(term, "dumb") == 0) return Mode::Lines;
  return Mode::InPlace;
}

ProgressDisplay::ProgressDisplay(std::FILE* out, Mode mode) : out_(out), mode_(mode) {}

ProgressDisplay::~ProgressDisplay() { Finish(); }

std::string ProgressDisplay::Render(std::string_view title, long progress, int width) {
  const long percent = Clamp(progress);
  const int filled = static_cast<int>(percent * kBarCells / 100);
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarCells - filled), '-');
  char number[16];
  std::snprintf(number, sizeof number, "] %3ld%%  ", percent);
  line += number;
  line += title;
  if (width > 0 && line.size() > static_cast<size_t>(width))
    line.resize(static_cast<size_t>(width));
  return line;
}

int ProgressDisplay::Width() const {
  winsize size{};
  if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col - 1;
  return 79;
}

void ProgressDisplay::Update(std::string_view title, long progress) {
  switch (mode_) {
    case Mode::Off:
      return;
    case Mode::InPlace: {
      std::string line = Render(title, progress, Width());
      if (line == last_drawn_) return;
      std::fprintf(out_, "\r%s\033[K", line.c_str());
      std::fflush(out_);
      last_drawn_ = std::move(line);
      line_open_ = true;
      return;
    }
    case Mode::Lines: {
      const long percent = Clamp(progress);
      const std::string_view stem = Stem(title);
      if (percent == last_percent_ && stem == last_stem_) return;
      last_percent_ = percent;
      last_stem_ = std::string(stem);
      std::fprintf(out_, "%3ld%%  %.*s\n", percent, static_cast<int>(title.size()), title.data());
      std::fflush(out_);
      return;
    }
  }
}

void ProgressDisplay::Finish() {
  if (line_open_) {
    std::fputc('\n', out_);
    std::fflush(out_);
  }
  line_open_ = false;
  last_drawn_.clear();
  last_stem_.clear();
  last_percent_ = -1;
}

}  // namespace qxcli
