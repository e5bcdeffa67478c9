#include "app/form1.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/window_test_support.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

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

TEST_F(Form1Test, EveryComponentHasItsKindPlaceCaptionAndFont) {
  TForm1& f = *form_;
  for (Fl_Widget* w : {static_cast<Fl_Widget*>(f.Label1), static_cast<Fl_Widget*>(f.Label2),
                       static_cast<Fl_Widget*>(f.Label3)}) {
    EXPECT_NE(dynamic_cast<TextLabel*>(w), nullptr);
  }
  for (Fl_Button* b : {f.Button1, f.Button2, f.Button3, f.Button4}) {
    EXPECT_EQ(b->type(), FL_NORMAL_BUTTON);
    EXPECT_EQ(b->when() & FL_WHEN_RELEASE, FL_WHEN_RELEASE);
  }
  EXPECT_EQ(f.TextInput->input_type(), FL_NORMAL_INPUT);
  EXPECT_STREQ(f.TextInput->value(), "");
  EXPECT_EQ(f.TextInput->textfont(), FL_HELVETICA);
  EXPECT_EQ(f.TextInput->textsize(), 16);
  for (Fl_Group* g : {f.GroupBox1, f.GroupBox2, f.GroupBox3, f.GroupBox4, f.GroupBox5}) {
    EXPECT_EQ(g->box(), FL_ENGRAVED_FRAME);
    EXPECT_EQ(g->label(), nullptr);
  }
  EXPECT_EQ(f.GroupBox1->children(), 3);
  EXPECT_EQ(f.GroupBox2->children(), 0);
  EXPECT_EQ(f.GroupBox3->children(), 1);
  EXPECT_EQ(f.GroupBox4->children(), 0);
  EXPECT_EQ(f.GroupBox5->children(), 0);
  ASSERT_NE(f.Image1->image(), nullptr);
  EXPECT_EQ(f.Image1->image()->w(), 153);
  EXPECT_EQ(f.Image1->image()->h(), 65);

  const Designed table[] = {
      {"Label1", f.Label1, &f, 32, 112, 167, 19, "Nazwa pliku wejściowego", FL_TIMES_BOLD, 16},
      {"Button1", f.Button1, &f, 384, 176, 113, 41, "Start TRAN", FL_HELVETICA_BOLD, 13},
      {"Button2", f.Button2, &f, 384, 288, 113, 41, "Koniec", FL_HELVETICA_BOLD, 13},
      {"TextInput", f.TextInput, &f, 32, 136, 169, 28, nullptr, FL_HELVETICA, 0},
      {"Button3", f.Button3, &f, 384, 120, 113, 41, "Wprowadź", FL_HELVETICA_BOLD, 13},
      {"Button4", f.Button4, &f, 384, 232, 113, 41, "Start DC", FL_HELVETICA_BOLD, 13},
      {"GroupBox1", f.GroupBox1, &f, 16, 8, 497, 89, nullptr, 0, 0},
      {"Image1", f.Image1, f.GroupBox1, 336, 16, 153, 65, nullptr, 0, 0},
      {"Label2", f.Label2, f.GroupBox1, 16, 16, 316, 26, nullptr, FL_TIMES_BOLD, 24},
      {"Label3", f.Label3, f.GroupBox1, 40, 56, 226, 22, nullptr, FL_TIMES_BOLD, 19},
      {"GroupBox2", f.GroupBox2, &f, 0, 8, 9, 337, nullptr, 0, 0},
      {"GroupBox3", f.GroupBox3, &f, 520, 8, 9, 340, nullptr, 0, 0},
      {"GroupBox4", f.GroupBox4, f.GroupBox3, 0, 0, 9, 340, nullptr, 0, 0},
      {"GroupBox5", f.GroupBox5, &f, 352, 104, 9, 244, nullptr, 0, 0},
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

TEST_F(Form1Test, WindowHasItsCaptionPlaceAndSize) {
  EXPECT_STREQ(form_->label(),
               "Analiza elektrotermiczna ukladów elektronicznych metodą rozdzielonych iteracji");
  EXPECT_EQ(form_->x(), 204);
  EXPECT_EQ(form_->y(), 249);
  // Outer 543 x 390 less a 4-pixel sizeable frame and a 19-pixel title bar.
  EXPECT_EQ(form_->w(), 535);
  EXPECT_EQ(form_->h(), 363);
  EXPECT_EQ(form_->color(), FL_BACKGROUND_COLOR);
  EXPECT_NE(form_->resizable(), nullptr);

  // Resizing moves and stretches nothing of the design.
  form_->size(800, 600);
  EXPECT_EQ(form_->Button2->x(), 384);
  EXPECT_EQ(form_->Button2->y(), 288);
  EXPECT_EQ(form_->GroupBox3->x(), 520);
  EXPECT_EQ(form_->GroupBox3->h(), 340);
  EXPECT_EQ(form_->Image1->x(), 16 + 336);
}

TEST_F(Form1Test, CaptionsFitTheirBoxes) {
  ShowForm();
  // Label1's box is its designed text's extent in Times New Roman; the metric twin keeps the
  // text within 5 % of it (the toolkit's default serif face is a quarter wider).
  EXPECT_NEAR(TextWidth(form_->Label1->label(), FL_TIMES_BOLD, 16), 167, 8);
  EXPECT_EQ(TextHeight(FL_TIMES_BOLD, 16), 19);
  // The institution lines are ours: they must fit the designed boxes.
  for (TextLabel* label : {form_->Label2, form_->Label3}) {
    SCOPED_TRACE(label->label());
    EXPECT_LE(TextWidth(label->label(), label->labelfont(), label->labelsize()), label->w());
    EXPECT_LE(TextHeight(label->labelfont(), label->labelsize()), label->h() + 2);
  }
  for (Fl_Button* button : {form_->Button1, form_->Button2, form_->Button3, form_->Button4}) {
    EXPECT_LE(TextWidth(button->label(), button->labelfont(), button->labelsize()),
              button->w() - 8);
  }
}

TEST_F(Form1Test, TabOrderFollowsTheDesign) {
  // Child order is the toolkit's tab order.
  const std::vector<Fl_Widget*> windowOrder = {
      form_->Button1,   form_->Button2,   form_->TextInput, form_->Button3,  form_->Button4,
      form_->GroupBox1, form_->GroupBox2, form_->GroupBox3, form_->GroupBox5};
  for (std::size_t i = 1; i < windowOrder.size(); ++i) {
    EXPECT_LT(form_->find(windowOrder[i - 1]), form_->find(windowOrder[i])) << i;
  }
  EXPECT_EQ(form_->GroupBox3->find(form_->GroupBox4), 0);

  ShowForm();
  const std::vector<Fl_Widget*> cycle = {form_->Button1, form_->Button2, form_->TextInput,
                                         form_->Button3, form_->Button4, form_->Button1};
  ASSERT_EQ(Fl::focus(), cycle[0]);
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    PressKey(*form_, FL_Tab);
    EXPECT_EQ(Fl::focus(), cycle[i]) << "after Tab " << i;
  }
  for (std::size_t i = cycle.size() - 1; i-- > 0;) {
    PressKey(*form_, FL_Tab, FL_SHIFT);
    EXPECT_EQ(Fl::focus(), cycle[i]) << "after Shift+Tab to " << i;
  }
}

TEST_F(Form1Test, FocusIsOnStartTranWhenFirstShown) {
  ShowForm();
  EXPECT_EQ(Fl::focus(), form_->Button1);
  EXPECT_STREQ(Fl::focus()->label(), "Start TRAN");
}

TEST_F(Form1Test, ImageShowsTheLogo) {
  ShowForm();
  const RgbPicture logo = DecodeLogo();
  ASSERT_EQ(logo.width, 153);
  ASSERT_EQ(logo.height, 65);
  const Pixels shown =
      ReadWindow(*form_, form_->Image1->x(), form_->Image1->y(), logo.width, logo.height);
  EXPECT_EQ(shown, logo.pixels);
}

TEST_F(Form1Test, EnterKeepsTheTypedTextAndDrawsIt) {
  ShowForm();
  const int height = StatusHeight();
  for (const char* name : {"  wzmacniacz ł 1 ", "amp.par"}) {
    SCOPED_TRACE(name);
    Enter(name);
    EXPECT_EQ(state_.baseName, name);
    const int enteredWidth = TextWidth("wprowadziłem", FL_HELVETICA, 11);
    EXPECT_EQ(ReadWindow(*form_, 30, 50, enteredWidth, height),
              RenderStatusLine(*form_, "wprowadziłem", enteredWidth, height));
    const int nameWidth = TextWidth(name, FL_HELVETICA, 11);
    EXPECT_EQ(ReadWindow(*form_, 30, 80, nameWidth, height),
              RenderStatusLine(*form_, name, nameWidth, height));
    EXPECT_GT(DarkPixels(ReadWindow(*form_, 30, 80, nameWidth, height)), 20);
  }
  // Entering a name opens no file.
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_TRUE(failures_.empty());
}

TEST_F(Form1Test, ShorterSecondNameLeavesTheTailOfTheFirst) {
  ShowForm();
  const int height = StatusHeight();
  Enter("longer_first_name");
  const int firstWidth = TextWidth("longer_first_name", FL_HELVETICA, 11);
  const Pixels first = ReadWindow(*form_, 30, 80, firstWidth, height);
  Enter("short");
  EXPECT_EQ(state_.baseName, "short");
  const int secondWidth = TextWidth("short", FL_HELVETICA, 11);
  const int tail = firstWidth - secondWidth - 1;
  ASSERT_GT(tail, 10);
  // The tail of the first name is untouched, the second name stands over its beginning.
  const Pixels tailNow = ReadWindow(*form_, 30 + secondWidth + 1, 80, tail, height);
  Pixels tailBefore;
  for (int row = 0; row < height; ++row) {
    const auto begin = first.begin() + (row * firstWidth + secondWidth + 1) * 3;
    tailBefore.insert(tailBefore.end(), begin, begin + tail * 3);
  }
  EXPECT_EQ(tailNow, tailBefore);
  EXPECT_GT(DarkPixels(tailNow), 10);
  EXPECT_EQ(ReadWindow(*form_, 30, 80, secondWidth, height),
            RenderStatusLine(*form_, "short", secondWidth, height));
}

TEST_F(Form1Test, RepaintRemovesStatusLines) {
  ShowForm();
  const int height = StatusHeight();
  const int width = TextWidth("wprowadziłem", FL_HELVETICA, 11);
  const Pixels before = ReadWindow(*form_, 30, 50, width, height);
  Enter("name");
  EXPECT_NE(ReadWindow(*form_, 30, 50, width, height), before);
  form_->redraw();
  Settle(*form_);
  EXPECT_EQ(ReadWindow(*form_, 30, 50, width, height), before);
}

TEST_F(Form1Test, StatusLinesWaitForTheWindowToBeShown) {
  // Not shown yet: nothing to draw on, and nothing fails.
  form_->DrawStatusLine(30, 10, "startuję");
  EXPECT_EQ(state_.statusDisplay, form_.get());
  form_.reset();
  EXPECT_EQ(state_.statusDisplay, nullptr);
}

TEST_F(Form1Test, KoniecEndsTheEventLoop) {
  ShowForm();
  struct Run {
    TForm1* form;
    bool closedByEscape = false;
    bool timedOut = false;
  } run{form_.get()};
  const auto clickKoniec = [](void* r) {
    auto* run = static_cast<Run*>(r);
    // Escape is not a way out; the click on "Koniec" is.
    PressKey(*run->form, FL_Escape);
    run->closedByEscape = !run->form->shown();
    Click(*run->form, *run->form->Button2);
  };
  const auto giveUp = [](void* r) {
    auto* run = static_cast<Run*>(r);
    run->timedOut = true;
    run->form->hide();
  };
  Fl::add_timeout(0.05, clickKoniec, &run);
  Fl::add_timeout(10.0, giveUp, &run);
  Fl::run();
  Fl::remove_timeout(giveUp, &run);
  EXPECT_FALSE(run.closedByEscape);
  EXPECT_FALSE(run.timedOut);
  EXPECT_FALSE(form_->shown());
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace etherm
