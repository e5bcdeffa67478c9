#include "app/failure_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace etherm {

namespace {

constexpr Fl_Font kTextFont = FL_HELVETICA;
constexpr Fl_Fontsize kTextSize = 14;
constexpr int kMargin = 10;
constexpr int kIconSize = 50;
constexpr int kTextX = kMargin + kIconSize + kMargin;
constexpr int kMinTextWidth = 320;
// Room between the text and the widget's edges: the text widget's own margins and a little air.
constexpr int kTextPadding = 10;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 25;
// Kept free at the screen's edges for the window manager's frame.
constexpr int kScreenGap = 24;

int WidestLine(const std::string& text) {
  fl_font(kTextFont, kTextSize);
  double widest = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    widest = std::max(widest, fl_width(text.data() + start, static_cast<int>(end - start)));
    start = end + 1;
  }
  return static_cast<int>(std::ceil(widest));
}

void CloseBox(Fl_Widget* widget, void*) {
  widget->window()->hide();
}

}  // namespace

FailureText::FailureText(int x, int y, int w, int h) : Fl_Text_Display(x, y, w, h) {
  box(FL_FLAT_BOX);
  color(FL_BACKGROUND_COLOR);
  textfont(kTextFont);
  textsize(kTextSize);
}

int FailureText::DisplayedLines() const {
  const int length = buffer() == nullptr ? 0 : buffer()->length();
  return count_lines(0, length, true);
}

bool FailureText::Scrolls() const {
  return scrollbar_width() > 0 && mVScrollBar->visible() != 0;
}

FailureBox::FailureBox(const std::string& failureText, int screenX, int screenY, int screenW,
                       int screenH)
    : Fl_Window(0, 0, 100, 100, "etherm"), buffer_(std::make_unique<Fl_Text_Buffer>()) {
  fl_font(kTextFont, kTextSize);
  const int lineHeight = fl_height();
  // A screen too small for the margins still gets a box with a few lines of text.
  const int maxTextWidth = std::max(screenW - 2 * kScreenGap - kTextX - kMargin, 160);
  const int maxTextHeight =
      std::max(screenH - 2 * kScreenGap - 3 * kMargin - kButtonHeight, 4 * lineHeight);
  const int textWidth =
      std::min(std::max(WidestLine(failureText) + kTextPadding, kMinTextWidth), maxTextWidth);

  begin();
  auto* icon = new Fl_Box(kMargin, kMargin, kIconSize, kIconSize, "!");
  icon->box(FL_THIN_UP_BOX);
  icon->labelfont(FL_TIMES_BOLD);
  icon->labelsize(34);
  icon->color(FL_WHITE);
  icon->labelcolor(FL_BLUE);

  // Laid out once at full height without a scroll bar to learn how many lines the wrapped
  // text takes; the scroll bar comes back only for a text that does not fit.
  text = new FailureText(kTextX, kMargin, textWidth, std::max(maxTextHeight, lineHeight));
  text->scrollbar_width(0);
  buffer_->text(failureText.c_str());
  text->buffer(buffer_.get());
  text->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
  int textHeight = text->DisplayedLines() * lineHeight + kTextPadding;
  if (textHeight > maxTextHeight) {
    textHeight = maxTextHeight;
    text->scrollbar_width(Fl::scrollbar_size());
  }
  text->resize(kTextX, kMargin, textWidth, textHeight);

  const int width = kTextX + textWidth + kMargin;
  const int buttonY = kMargin + std::max(textHeight, kIconSize) + kMargin;
  const int height = buttonY + kButtonHeight + kMargin;
  closeButton = new Fl_Return_Button(width - kMargin - kButtonWidth, buttonY, kButtonWidth,
                                     kButtonHeight, fl_close);
  closeButton->callback(CloseBox);
  end();

  resize(screenX + (screenW - width) / 2, screenY + (screenH - height) / 2, width, height);
  set_modal();
}

FailureBox::~FailureBox() {
  // The text widget refers to the buffer to its end: delete it while the buffer lives.
  clear();
}

void ShowFailureBox(const std::string& text) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h);
  FailureBox box(text, x, y, w, h);
  box.show();
  box.closeButton->take_focus();
  while (box.shown()) Fl::wait();
}

}  // namespace etherm
