// The progress bar's two modes, written into a file.
#include <gtest/gtest.h>

#include <cstdio>

#include "tools/qxnet/progress_display.h"

namespace qxcli {
namespace {

std::string Capture(ProgressDisplay::Mode mode, void (*feed)(ProgressDisplay&)) {
  std::FILE* file = std::tmpfile();
  {
    ProgressDisplay display(file, mode);
    feed(display);
  }
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  return text;
}

void Download(ProgressDisplay& display) {
  display.Update("Downloading file", 10);
  display.Update("Downloading file (8 kb/200 kb)", 14);
  display.Update("Downloading file (16 kb/200 kb)", 14);  // same percentage
  display.Update("Downloading file (24 kb/200 kb)", 17);
  display.Update("Finished downloading file", 90);
  display.Update("Download complete", 100);
}

TEST(ProgressDisplay, LinesModePrintsOneLinePerPercentageInPlaceModeRedraws) {
  EXPECT_EQ(Capture(ProgressDisplay::Mode::Lines, Download),
            " 10%  Downloading file\n"
            " 14%  Downloading file (8 kb/200 kb)\n"
            " 17%  Downloading file (24 kb/200 kb)\n"
            " 90%  Finished downloading file\n"
            "100%  Download complete\n");

  const std::string text = Capture(ProgressDisplay::Mode::InPlace, Download);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 6);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("\r[########################] 100%  Download complete\033[K\n"),
            std::string::npos)
      << text;
}

TEST(ProgressDisplay, RenderClampsAndFitsTheWidth) {
  EXPECT_EQ(ProgressDisplay::Render("x", 250, 0).substr(0, 31), "[########################] 100%");
  EXPECT_EQ(ProgressDisplay::Render("x", -5, 0).substr(0, 31), "[------------------------]   0%");
  EXPECT_EQ(ProgressDisplay::Render(std::string(200, 'y'), 50, 60).size(), 60u);
}

}  // namespace
}  // namespace qxcli
