#include "app/main_window.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "app/window_test_support.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using main_window_layout::kBaseNameY;
using main_window_layout::kEnteredX;
using main_window_layout::kEnteredY;

// Component table as designed: positions within the parent, captions in UTF-8.
struct Designed {
  const char* name;
  Fl_Widget* widget;
  Fl_Group* parent;
  int x, y, w, h;
  const char* caption;  // nullptr: not checked here
  Fl_Font font;
  int fontSize;  // 0: no font of its own
};

TEST_F(MainWindowTest, EveryComponentHasItsKindPlaceCaptionAndFont) {
  MainWindow& f = *window_;
  for (Fl_Widget* w :
       {static_cast<Fl_Widget*>(f.nameLabel), static_cast<Fl_Widget*>(f.departmentLabel),
        static_cast<Fl_Widget*>(f.labLabel)}) {
    EXPECT_NE(dynamic_cast<TextLabel*>(w), nullptr);
  }
  for (Fl_Button* b : {f.startTranButton, f.quitButton, f.enterButton, f.startDcButton}) {
    EXPECT_EQ(b->type(), FL_NORMAL_BUTTON);
    EXPECT_EQ(b->when() & FL_WHEN_RELEASE, FL_WHEN_RELEASE);
  }
  EXPECT_EQ(f.nameInput->input_type(), FL_NORMAL_INPUT);
  EXPECT_STREQ(f.nameInput->value(), "");
  EXPECT_EQ(f.nameInput->textfont(), FL_HELVETICA);
  EXPECT_EQ(f.nameInput->textsize(), 16);
  for (Fl_Group* g : {f.headerGroup, f.leftBar, f.rightBar, f.rightBarInner, f.middleBar}) {
    EXPECT_EQ(g->box(), FL_ENGRAVED_FRAME);
    EXPECT_EQ(g->label(), nullptr);
  }
  EXPECT_EQ(f.headerGroup->children(), 3);
  EXPECT_EQ(f.leftBar->children(), 0);
  EXPECT_EQ(f.rightBar->children(), 1);
  EXPECT_EQ(f.rightBarInner->children(), 0);
  EXPECT_EQ(f.middleBar->children(), 0);
  ASSERT_NE(f.logo->image(), nullptr);
  EXPECT_EQ(f.logo->image()->w(), 153);
  EXPECT_EQ(f.logo->image()->h(), 65);

  const Designed table[] = {
      {"nameLabel", f.nameLabel, &f, 32, 112, 167, 19, "Nazwa pliku wejściowego", FL_TIMES_BOLD,
       16},
      {"startTranButton", f.startTranButton, &f, 384, 176, 113, 41, "Start TRAN", FL_HELVETICA_BOLD,
       13},
      {"quitButton", f.quitButton, &f, 384, 288, 113, 41, "Koniec", FL_HELVETICA_BOLD, 13},
      {"nameInput", f.nameInput, &f, 32, 136, 169, 28, nullptr, FL_HELVETICA, 0},
      {"enterButton", f.enterButton, &f, 384, 120, 113, 41, "Wprowadź", FL_HELVETICA_BOLD, 13},
      {"startDcButton", f.startDcButton, &f, 384, 232, 113, 41, "Start DC", FL_HELVETICA_BOLD, 13},
      {"headerGroup", f.headerGroup, &f, 16, 8, 497, 89, nullptr, 0, 0},
      {"logo", f.logo, f.headerGroup, 336, 16, 153, 65, nullptr, 0, 0},
      {"departmentLabel", f.departmentLabel, f.headerGroup, 16, 16, 316, 26, nullptr, FL_TIMES_BOLD,
       24},
      {"labLabel", f.labLabel, f.headerGroup, 40, 56, 226, 22, nullptr, FL_TIMES_BOLD, 19},
      {"leftBar", f.leftBar, &f, 0, 8, 9, 337, nullptr, 0, 0},
      {"rightBar", f.rightBar, &f, 520, 8, 9, 340, nullptr, 0, 0},
      {"rightBarInner", f.rightBarInner, f.rightBar, 0, 0, 9, 340, nullptr, 0, 0},
      {"middleBar", f.middleBar, &f, 352, 104, 9, 244, nullptr, 0, 0},
  };
  for (const Designed& d : table) {
    SCOPED_TRACE(d.name);
    ASSERT_NE(d.widget, nullptr);
    EXPECT_EQ(d.widget->parent(), d.parent);
    // Children of groups are placed in window coordinates.
    const int originX = d.parent == &f ? 0 : d.parent->x();
    const int originY = d.parent == &f ? 0 : d.parent->y();
    EXPECT_EQ(d.widget->x() - originX, d.x);
    EXPECT_EQ(d.widget->y() - originY, d.y);
    EXPECT_EQ(d.widget->w(), d.w);
    EXPECT_EQ(d.widget->h(), d.h);
    if (d.caption != nullptr) {
      EXPECT_STREQ(d.widget->label(), d.caption);
    }
    if (d.fontSize != 0) {
      EXPECT_EQ(d.widget->labelfont(), d.font);
      EXPECT_EQ(d.widget->labelsize(), d.fontSize);
    }
  }
}

TEST_F(MainWindowTest, WindowHasItsCaptionPlaceAndSize) {
  EXPECT_STREQ(window_->label(),
               "Analiza elektrotermiczna ukladów elektronicznych metodą rozdzielonych iteracji");
  EXPECT_EQ(window_->x(), 204);
  EXPECT_EQ(window_->y(), 249);
  // Outer 543 x 390 less a 4-pixel sizeable frame and a 19-pixel title bar, and the status
  // panel below.
  EXPECT_EQ(window_->w(), 535);
  EXPECT_EQ(window_->h(), 363 - 7 + 104 + 8);
  EXPECT_EQ(window_->color(), FL_BACKGROUND_COLOR);
  EXPECT_NE(window_->resizable(), nullptr);

  // Resizing moves and stretches nothing of the design.
  window_->size(800, 600);
  EXPECT_EQ(window_->quitButton->x(), 384);
  EXPECT_EQ(window_->quitButton->y(), 288);
  EXPECT_EQ(window_->rightBar->x(), 520);
  EXPECT_EQ(window_->rightBar->h(), 340);
  EXPECT_EQ(window_->logo->x(), 16 + 336);
}

TEST_F(MainWindowTest, CaptionsFitTheirBoxes) {
  ShowWindow();
  // nameLabel's box is its designed text's extent in Times New Roman; the metric twin keeps the
  // text within 5 % of it (the toolkit's default serif face is a quarter wider).
  EXPECT_NEAR(TextWidth(window_->nameLabel->label(), FL_TIMES_BOLD, 16), 167, 8);
  EXPECT_EQ(TextHeight(FL_TIMES_BOLD, 16), 19);
  // The institution lines are ours: they must fit the designed boxes.
  for (TextLabel* label : {window_->departmentLabel, window_->labLabel}) {
    SCOPED_TRACE(label->label());
    EXPECT_LE(TextWidth(label->label(), label->labelfont(), label->labelsize()), label->w());
    EXPECT_LE(TextHeight(label->labelfont(), label->labelsize()), label->h() + 2);
  }
  for (Fl_Button* button : {window_->startTranButton, window_->quitButton, window_->enterButton,
                            window_->startDcButton}) {
    EXPECT_LE(TextWidth(button->label(), button->labelfont(), button->labelsize()),
              button->w() - 8);
  }
}

TEST_F(MainWindowTest, TabOrderFollowsTheDesign) {
  // Child order is the toolkit's tab order.
  const std::vector<Fl_Widget*> windowOrder = {
      window_->startTranButton, window_->quitButton,    window_->nameInput,   window_->browseButton,
      window_->enterButton,     window_->startDcButton, window_->headerGroup, window_->leftBar,
      window_->rightBar,        window_->middleBar};
  for (std::size_t i = 1; i < windowOrder.size(); ++i) {
    EXPECT_LT(window_->find(windowOrder[i - 1]), window_->find(windowOrder[i])) << i;
  }
  EXPECT_EQ(window_->rightBar->find(window_->rightBarInner), 0);

  ShowWindow();
  // The file chooser follows the name field; "Stop" is for the mouse and Esc only.
  const std::vector<Fl_Widget*> cycle = {window_->startTranButton, window_->quitButton,
                                         window_->nameInput,       window_->browseButton,
                                         window_->enterButton,     window_->startDcButton,
                                         window_->startTranButton};
  ASSERT_EQ(Fl::focus(), cycle[0]);
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    PressKey(*window_, FL_Tab);
    EXPECT_EQ(Fl::focus(), cycle[i]) << "after Tab " << i;
  }
  for (std::size_t i = cycle.size() - 1; i-- > 0;) {
    PressKey(*window_, FL_Tab, FL_SHIFT);
    EXPECT_EQ(Fl::focus(), cycle[i]) << "after Shift+Tab to " << i;
  }
}

TEST_F(MainWindowTest, FocusIsOnStartTranWhenFirstShown) {
  ShowWindow();
  EXPECT_EQ(Fl::focus(), window_->startTranButton);
  EXPECT_STREQ(Fl::focus()->label(), "Start TRAN");
}

TEST_F(MainWindowTest, EnterAndSpacePressTheFocusedButton) {
  ShowWindow();
  for (const int key : {FL_Enter, FL_KP_Enter, int{' '}}) {
    SCOPED_TRACE(key);
    state_.baseName.clear();
    window_->nameInput->value("typed");
    window_->enterButton->take_focus();
    PressKey(*window_, key);
    EXPECT_EQ(state_.baseName, "typed");
    EXPECT_EQ(Fl::focus(), window_->enterButton);
  }
  // With a modifier the key is not a press.
  state_.baseName.clear();
  PressKey(*window_, FL_Enter, FL_CTRL);
  EXPECT_EQ(state_.baseName, "");
}

TEST_F(MainWindowTest, EnterThenSpaceAtStartUpRunTheTransientAnalysisTwice) {
  ShowWindow();
  // Both keys press "Start TRAN", which has the focus; neither moves it to "Koniec".
  PressKey(*window_, FL_Enter);
  PressKey(*window_, ' ');
  EXPECT_TRUE(window_->shown());
  EXPECT_EQ(failures_, (std::vector<std::string>{"File not found: .par", "File not found: .par"}));
  EXPECT_EQ(Fl::focus(), window_->startTranButton);
}

TEST_F(MainWindowTest, EnterInTheNameFieldPressesWprowadz) {
  ShowWindow();
  window_->nameInput->take_focus();
  const int height = StatusHeight();
  for (const int key : {FL_Enter, FL_KP_Enter}) {
    SCOPED_TRACE(key);
    state_.baseName.clear();
    window_->nameInput->value(" typed ");
    PressKey(*window_, key);
    EXPECT_EQ(state_.baseName, " typed ");
    EXPECT_EQ(Fl::focus(), window_->nameInput);
    EXPECT_STREQ(window_->nameInput->value(), " typed ");
    const int width = TextWidth("wprowadziłem", FL_HELVETICA, 11);
    EXPECT_EQ(ReadWindow(*window_, kEnteredX, kEnteredY, width, height),
              RenderStatusLine(*window_, "wprowadziłem", width, height));
  }
  // Unchanged text entered again, as the button does; typing alone enters nothing.
  state_.baseName.clear();
  PressKey(*window_, FL_Enter);
  EXPECT_EQ(state_.baseName, " typed ");
  TypeText(*window_, "x");
  EXPECT_EQ(state_.baseName, " typed ");
  EXPECT_TRUE(failures_.empty());
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(MainWindowTest, ImageShowsTheLogo) {
  ShowWindow();
  const RgbPicture logo = DecodeLogo();
  ASSERT_EQ(logo.width, 153);
  ASSERT_EQ(logo.height, 65);
  const Pixels shown =
      ReadWindow(*window_, window_->logo->x(), window_->logo->y(), logo.width, logo.height);
  EXPECT_EQ(shown, logo.pixels);
}

TEST_F(MainWindowTest, EnterKeepsTheTypedTextAndDrawsIt) {
  ShowWindow();
  const int height = StatusHeight();
  for (const char* name : {"  wzmacniacz ł 1 ", "amp.par"}) {
    SCOPED_TRACE(name);
    Enter(name);
    EXPECT_EQ(state_.baseName, name);
    const int enteredWidth = TextWidth("wprowadziłem", FL_HELVETICA, 11);
    EXPECT_EQ(ReadWindow(*window_, kEnteredX, kEnteredY, enteredWidth, height),
              RenderStatusLine(*window_, "wprowadziłem", enteredWidth, height));
    const int nameWidth = TextWidth(name, FL_HELVETICA, 11);
    EXPECT_EQ(ReadWindow(*window_, kEnteredX, kBaseNameY, nameWidth, height),
              RenderStatusLine(*window_, name, nameWidth, height));
    EXPECT_GT(DarkPixels(ReadWindow(*window_, kEnteredX, kBaseNameY, nameWidth, height)), 20);
  }
  // Entering a name opens no file.
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_TRUE(failures_.empty());
}

TEST_F(MainWindowTest, ShorterSecondNameLeavesTheTailOfTheFirst) {
  ShowWindow();
  const int height = StatusHeight();
  Enter("longer_first_name");
  const int firstWidth = TextWidth("longer_first_name", FL_HELVETICA, 11);
  const Pixels first = ReadWindow(*window_, kEnteredX, kBaseNameY, firstWidth, height);
  Enter("short");
  EXPECT_EQ(state_.baseName, "short");
  const int secondWidth = TextWidth("short", FL_HELVETICA, 11);
  const int tail = firstWidth - secondWidth - 1;
  ASSERT_GT(tail, 10);
  // The tail of the first name is untouched, the second name stands over its beginning.
  const Pixels tailNow =
      ReadWindow(*window_, kEnteredX + secondWidth + 1, kBaseNameY, tail, height);
  Pixels tailBefore;
  for (int row = 0; row < height; ++row) {
    const auto begin = first.begin() + (row * firstWidth + secondWidth + 1) * 3;
    tailBefore.insert(tailBefore.end(), begin, begin + tail * 3);
  }
  EXPECT_EQ(tailNow, tailBefore);
  EXPECT_GT(DarkPixels(tailNow), 10);
  EXPECT_EQ(ReadWindow(*window_, kEnteredX, kBaseNameY, secondWidth, height),
            RenderStatusLine(*window_, "short", secondWidth, height));
}

TEST_F(MainWindowTest, RepaintRemovesStatusLines) {
  ShowWindow();
  const int height = StatusHeight();
  const int width = TextWidth("wprowadziłem", FL_HELVETICA, 11);
  const Pixels before = ReadWindow(*window_, kEnteredX, kEnteredY, width, height);
  Enter("name");
  EXPECT_NE(ReadWindow(*window_, kEnteredX, kEnteredY, width, height), before);
  window_->redraw();
  Settle(*window_);
  EXPECT_EQ(ReadWindow(*window_, kEnteredX, kEnteredY, width, height), before);
}

TEST_F(MainWindowTest, StatusLinesWaitForTheWindowToBeShown) {
  // Not shown yet: nothing to draw on, and nothing fails.
  window_->StatusChanged(StatusLine::kIteration, "startuję");
  EXPECT_EQ(state_.listener, window_.get());
  window_.reset();
  EXPECT_EQ(state_.listener, nullptr);
}

TEST_F(MainWindowTest, QuitEndsTheEventLoop) {
  ShowWindow();
  struct Run {
    MainWindow* form;
    bool closedByEscape = false;
    bool timedOut = false;
  } run{window_.get()};
  const auto clickQuit = [](void* r) {
    auto* run = static_cast<Run*>(r);
    // Escape is not a way out; the click on "Koniec" is.
    PressKey(*run->form, FL_Escape);
    run->closedByEscape = !run->form->shown();
    Click(*run->form, *run->form->quitButton);
  };
  const auto giveUp = [](void* r) {
    auto* run = static_cast<Run*>(r);
    run->timedOut = true;
    run->form->hide();
  };
  Fl::add_timeout(0.05, clickQuit, &run);
  Fl::add_timeout(10.0, giveUp, &run);
  Fl::run();
  Fl::remove_timeout(giveUp, &run);
  EXPECT_FALSE(run.closedByEscape);
  EXPECT_FALSE(run.timedOut);
  EXPECT_FALSE(window_->shown());
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace etherm
