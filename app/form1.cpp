#include "app/form1.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <exception>

#include "analysis/analysis.h"
#include "app/form1_layout.h"
#include "app/window_drawing.h"

namespace etherm {

namespace {

using namespace form1;

// The Linux twins of the designed faces: same metrics as the Windows fonts the layout was
// measured with, so captions fill their boxes as designed.
void BindFontFaces() {
  Fl::set_font(FL_HELVETICA, " Liberation Sans");
  Fl::set_font(FL_HELVETICA_BOLD, "BLiberation Sans");
  Fl::set_font(FL_TIMES, " Liberation Serif");
  Fl::set_font(FL_TIMES_BOLD, "BLiberation Serif");
}

TForm1& FormOf(void* userData) {
  return *static_cast<TForm1*>(userData);
}

void OnButton1(Fl_Widget*, void* form) {
  FormOf(form).Button1Click();
}
void OnButton2(Fl_Widget*, void* form) {
  FormOf(form).Button2Click();
}
void OnButton3(Fl_Widget*, void* form) {
  FormOf(form).Button3Click();
}
void OnButton4(Fl_Widget*, void* form) {
  FormOf(form).Button4Click();
}

// Closing the window ends the program; Escape, which FLTK would treat as closing, does not.
void OnClose(Fl_Widget*, void* form) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  FormOf(form).Button2Click();
}

void ShowAlert(const std::string& text) {
  fl_message_title("etherm");
  fl_alert("%s", text.c_str());
}

Fl_Button* MakeButton(const Bounds& b, const char* caption, Fl_Callback* onClick, void* form) {
  auto* button = new Fl_Button(b.x, b.y, b.w, b.h, caption);
  button->labelfont(kButtonFont.face);
  button->labelsize(kButtonFont.size);
  button->callback(onClick, form);
  return button;
}

TextLabel* MakeLabel(int parentX, int parentY, const Bounds& b, const char* caption,
                     const FontStyle& font) {
  auto* label = new TextLabel(parentX + b.x, parentY + b.y, b.w, b.h, caption);
  label->labelfont(font.face);
  label->labelsize(font.size);
  return label;
}

// A caption-less group box: an etched frame around its children.
Fl_Group* MakeGroupBox(int parentX, int parentY, const Bounds& b) {
  auto* group = new Fl_Group(parentX + b.x, parentY + b.y, b.w, b.h);
  group->box(FL_ENGRAVED_FRAME);
  return group;
}

}  // namespace

TForm1::TForm1(AnalysisState& state)
    : Fl_Window(kLeft, kTop, kClientWidth, kClientHeight, kCaption),
      state_(state),
      failureBox_(ShowAlert),
      logoPicture_(DecodeLogo()) {
  CreateComponents();
  state_.statusDisplay = this;
}

TForm1::~TForm1() {
  if (state_.statusDisplay == this) state_.statusDisplay = nullptr;
}

// The whole layout; children of a group are created between its begin() and end(), and the
// creation order is the tab order.
void TForm1::CreateComponents() {
  BindFontFaces();
  begin();
  labelfont(kWindowFont.face);
  labelsize(kWindowFont.size);

  Label1 = MakeLabel(0, 0, kLabel1, kLabel1Caption, kLabel1Font);
  Button1 = MakeButton(kButton1, kButton1Caption, OnButton1, this);
  Button2 = MakeButton(kButton2, kButton2Caption, OnButton2, this);

  TextInput = new Fl_Input(kTextInput.x, kTextInput.y, kTextInput.w, kTextInput.h);
  TextInput->textfont(kEditFont.face);
  TextInput->textsize(kEditFont.size);

  Button3 = MakeButton(kButton3, kButton3Caption, OnButton3, this);
  Button4 = MakeButton(kButton4, kButton4Caption, OnButton4, this);

  GroupBox1 = MakeGroupBox(0, 0, kGroupBox1);
  logoImage_ = std::make_unique<Fl_RGB_Image>(logoPicture_.pixels.data(), logoPicture_.width,
                                              logoPicture_.height, 3);
  Image1 = new Fl_Box(kGroupBox1.x + kImage1.x, kGroupBox1.y + kImage1.y, kImage1.w, kImage1.h);
  Image1->box(FL_NO_BOX);
  Image1->image(logoImage_.get());
  Label2 = MakeLabel(kGroupBox1.x, kGroupBox1.y, kLabel2, kLabel2Caption, kLabel2Font);
  Label3 = MakeLabel(kGroupBox1.x, kGroupBox1.y, kLabel3, kLabel3Caption, kLabel3Font);
  GroupBox1->end();

  GroupBox2 = MakeGroupBox(0, 0, kGroupBox2);
  GroupBox2->end();

  GroupBox3 = MakeGroupBox(0, 0, kGroupBox3);
  GroupBox4 = MakeGroupBox(kGroupBox3.x, kGroupBox3.y, kGroupBox4);
  GroupBox4->end();
  GroupBox3->end();

  GroupBox5 = MakeGroupBox(0, 0, kGroupBox5);
  GroupBox5->end();

  // Components keep their place and size when the window is resized: the only part that
  // stretches is an empty corner beyond all of them.
  auto* corner = new Fl_Box(kClientWidth - 1, kClientHeight - 1, 1, 1);
  corner->box(FL_NO_BOX);
  resizable(corner);
  end();

  xclass("etherm");
  callback(OnClose, this);
  Button1->take_focus();
}

void TForm1::Button3Click() {
  state_.baseName = TextInput->value();
  DrawStatusLine(kStatusX, kEnteredY, kEnteredText);
  DrawStatusLine(kStatusX, kBaseNameY, state_.baseName);
}

void TForm1::Button4Click() {
  RunAnalysis(RunDcAnalysis);
}

void TForm1::Button1Click() {
  RunAnalysis(RunTransientAnalysis);
}

void TForm1::Button2Click() {
  while (Fl_Window* window = Fl::first_window()) window->hide();
}

void TForm1::RunAnalysis(void (*analysis)(AnalysisState&)) {
  // The event loop stops for the whole run: show the released button and a busy cursor first.
  cursor(FL_CURSOR_WAIT);
  Fl::flush();
  std::string failureText;
  bool failed = false;
  try {
    analysis(state_);
  } catch (const std::exception& failure) {
    // Failure is the expected kind; anything else from a library is shown the same way rather
    // than ending the program.
    failed = true;
    failureText = failure.what();
  }
  cursor(FL_CURSOR_DEFAULT);
  if (failed) failureBox_(failureText);
}

void TForm1::DrawStatusLine(int x, int y, std::string_view text) {
  if (!shown()) return;
  DrawOpaqueText(*this, x, y, text, kWindowFont.face, kWindowFont.size, color(),
                 FL_FOREGROUND_COLOR);
}

}  // namespace etherm
