// The progress bar on standard error, fed by the OnProgress events of a
// transfer. On a terminal it redraws one line in place; elsewhere (a pipe,
// a file, a dumb terminal) it degrades to plain lines, one per step and per
// change of the percentage, so logs stay short and readable.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qxcli {

class ProgressDisplay {
 public:
  enum class Mode { Off, Lines, InPlace };

  // Chooses InPlace when `out` is a terminal (and TERM is not "dumb"),
  // otherwise Lines.
  static Mode ModeFor(std::FILE* out);

  ProgressDisplay(std::FILE* out, Mode mode);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // One progress report: the step's title and the progress value (the
  // library's percentage, clamped to 0..100 for drawing).
  void Update(std::string_view title, long progress);
  // The transfer ended: the in-place line is closed with a line feed.
  void Finish();

  // The line drawn for a report, `width` columns at most (exposed for tests
  // of the layout).
  static std::string Render(std::string_view title, long progress, int width);

 private:
  int Width() const;

  std::FILE* out_;
  Mode mode_;
  bool line_open_ = false;
  std::string last_drawn_;
  std::string last_stem_;
  long last_percent_ = -1;
};

}  // namespace qxcli
