#include "app/result_window.h"

#include <FL/Fl.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdlib>

namespace etherm {

namespace {

constexpr int kMargin = 8;
constexpr int kPlotWidth = 800;  // the plots are drawn at 800 x 600
constexpr int kPlotHeight = 600;
constexpr Fl_Font kSummaryFont = FL_COURIER;  // the summary is a table aligned by blanks
constexpr int kSummarySize = 12;
constexpr int kMaxSummaryLines = 20;  // beyond, the summary scrolls

int LineCount(const std::string& text) {
  int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++lines;
  return std::max(lines, 1);
}

}  // namespace

ResultWindow::ResultWindow()
    : Fl_Double_Window(kPlotWidth + 2 * kMargin, 400, "etherm"),
      text_(std::make_unique<Fl_Text_Buffer>()) {
  begin();
  summary = new Fl_Text_Display(kMargin, kMargin, kPlotWidth, 100);
  summary->buffer(text_.get());
  summary->textfont(kSummaryFont);
  summary->textsize(kSummarySize);
  plot = new Fl_Box(kMargin, 120, kPlotWidth, kPlotHeight);
  plot->box(FL_FLAT_BOX);
  plot->color(FL_WHITE);
  plot->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  end();
  xclass("etherm");
}

ResultWindow::~ResultWindow() {
  // The text display detaches from its buffer when it goes; the buffer must still be there.
  clear();
}

std::string ResultWindow::SummaryText() const {
  char* text = text_->text();
  std::string copy = text;
  std::free(text);
  return copy;
}

int ResultWindow::FullWidth() {
  return kPlotWidth + 2 * kMargin;
}

int ResultWindow::MinWidth() {
  // Half size: the plot's letters stay readable.
  return kPlotWidth / 2 + 2 * kMargin;
}

void ResultWindow::ShowResult(const RunResult& result, const ScreenArea& area, int nearY) {
  // A last line end would show as an empty line at the bottom.
  std::string shownText = result.summary;
  if (!shownText.empty() && shownText.back() == '\n') shownText.pop_back();
  text_->text(shownText.c_str());
  title_ = "etherm: results of " + result.baseName;
  label(title_.c_str());

  plot->image(nullptr);
  shown_.reset();
  picture_.reset();
  note_ = result.note;
  if (!result.picture.empty()) {
    auto png = std::make_unique<Fl_PNG_Image>(result.picture.c_str());
    if (png->fail() == 0 && png->w() > 0 && png->h() > 0) {
      picture_ = std::move(png);
    } else {
      note_ = "cannot read the plot " + result.picture;
    }
  }

  fl_font(kSummaryFont, kSummarySize);
  // The display's own margins are a pixel above and below the lines.
  const int summaryHeight = std::min(LineCount(shownText), kMaxSummaryLines) * fl_height() +
                            Fl::box_dh(summary->box()) + 4;
  const int screenX = area.x, screenY = area.y, screenW = area.w, screenH = area.h;
  // Shrunk to the screen, never enlarged: gnuplot's lines and letters are sharpest as drawn.
  const int room = screenH - summaryHeight - 3 * kMargin;
  const double scale =
      std::clamp(std::min(room / static_cast<double>(kPlotHeight),
                          (screenW - 2 * kMargin) / static_cast<double>(kPlotWidth)),
                 0.25, 1.0);
  const int plotW = static_cast<int>(kPlotWidth * scale);
  const int plotH = static_cast<int>(kPlotHeight * scale);
  if (picture_) {
    shown_.reset(scale < 1.0 ? picture_->copy(plotW, plotH) : picture_->copy());
    plot->image(shown_.get());
    plot->label(nullptr);
  } else {
    plot->copy_label(note_.c_str());
  }
  const int width = plotW + 2 * kMargin;
  const int height = summaryHeight + plotH + 3 * kMargin;
  summary->resize(kMargin, kMargin, plotW, summaryHeight);
  plot->resize(kMargin, 2 * kMargin + summaryHeight, plotW, plotH);
  const int x = std::clamp(area.x, screenX, std::max(screenX, screenX + screenW - width));
  const int y = std::clamp(nearY, screenY, std::max(screenY, screenY + screenH - height));
  resize(x, y, width, height);
  size_range(width, height, width, height);
  redraw();
  show();
}

}  // namespace etherm
