#include "app/window_test_support.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace etherm {

namespace {

// Each test program gets an X server of its own. Tests run in parallel, and on a shared screen
// another program's window may cover this one's, which loses what is drawn there and what is
// read back.
class PrivateXServer : public ::testing::Environment {
 public:
  void SetUp() override {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string fd = std::to_string(pipeFds[1]);
    // -terminate: the server ends with its last client, so a test that crashes leaves none.
    const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen",    "0",
                          "1024x768x24", "-nolisten",  "tcp",      "-terminate", nullptr};
    const int spawned =
        ::posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, const_cast<char* const*>(argv), environ);
    ::close(pipeFds[1]);
    ASSERT_EQ(spawned, 0) << "cannot start Xvfb (package xvfb)";
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&wait, 1, 20000) == 1 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    ::close(pipeFds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not report a display";
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
  }
  void TearDown() override {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = 0;
};

[[maybe_unused]] ::testing::Environment* const privateXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateXServer);

Pixels TakeImage(unsigned char* data, int w, int h) {
  Pixels pixels(data, data + static_cast<std::size_t>(w) * h * 3);
  delete[] data;
  return pixels;
}

}  // namespace

int TextWidth(const std::string& text, Fl_Font face, int size) {
  fl_font(face, size);
  return static_cast<int>(std::ceil(fl_width(text.data(), static_cast<int>(text.size()))));
}

int TextHeight(Fl_Font face, int size) {
  fl_font(face, size);
  return fl_height();
}

Pixels ReadWindow(Fl_Window& window, int x, int y, int w, int h) {
  window.make_current();
  XSync(fl_display, False);
  return TakeImage(fl_read_image(nullptr, x, y, w, h), w, h);
}

Pixels RenderText(Fl_Window& window, const std::string& text, Fl_Font face, int size,
                  Fl_Color background, int w, int h) {
  window.make_current();
  Fl_Offscreen offscreen = fl_create_offscreen(w, h);
  fl_begin_offscreen(offscreen);
  fl_color(background);
  fl_rectf(0, 0, w, h);
  fl_font(face, size);
  fl_color(FL_FOREGROUND_COLOR);
  fl_draw(text.data(), static_cast<int>(text.size()), 0, fl_height() - fl_descent());
  Pixels pixels = TakeImage(fl_read_image(nullptr, 0, 0, w, h), w, h);
  fl_end_offscreen();
  fl_delete_offscreen(offscreen);
  return pixels;
}

Pixels RenderStatusLine(Fl_Window& window, const std::string& text, int w, int h) {
  return RenderText(window, text, FL_HELVETICA, 11, window.color(), w, h);
}

int StatusHeight() {
  return TextHeight(FL_HELVETICA, 11);
}

int DarkPixels(const Pixels& pixels) {
  int count = 0;
  for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
    if (pixels[i] + pixels[i + 1] + pixels[i + 2] < 3 * 96) ++count;
  }
  return count;
}

void Settle(Fl_Window& window) {
  for (int i = 0; i < 200 && (!window.visible() || window.damage() != 0); ++i) Fl::wait(0.01);
  for (int i = 0; i < 5; ++i) Fl::wait(0.01);
  Fl::flush();
  XSync(fl_display, False);
}

void Click(Fl_Window& window, Fl_Widget& widget) {
  Fl::e_x = widget.x() + widget.w() / 2;
  Fl::e_y = widget.y() + widget.h() / 2;
  Fl::e_x_root = window.x_root() + Fl::e_x;
  Fl::e_y_root = window.y_root() + Fl::e_y;
  Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
  Fl::e_state = FL_BUTTON1;
  Fl::e_clicks = 0;
  Fl::e_is_click = 1;
  Fl::handle(FL_PUSH, &window);
  Fl::e_state = 0;
  Fl::handle(FL_RELEASE, &window);
}

void PressKey(Fl_Window& window, int key, int state) {
  Fl::e_keysym = key;
  Fl::e_state = state;
  Fl::e_text = const_cast<char*>("");
  Fl::e_length = 0;
  Fl::handle(FL_KEYBOARD, &window);
}

void SendClick(Fl_Window& window, Fl_Widget& widget) {
  XEvent event{};
  XButtonEvent& button = event.xbutton;
  button.type = ButtonPress;
  button.display = fl_display;
  button.window = fl_xid(&window);
  button.root = RootWindow(fl_display, fl_screen);
  button.time = CurrentTime;
  button.x = widget.x() + widget.w() / 2;
  button.y = widget.y() + widget.h() / 2;
  button.x_root = window.x_root() + button.x;
  button.y_root = window.y_root() + button.y;
  button.button = Button1;
  button.same_screen = True;
  XSendEvent(fl_display, button.window, False, ButtonPressMask, &event);
  button.type = ButtonRelease;
  button.state = Button1Mask;
  XSendEvent(fl_display, button.window, False, ButtonReleaseMask, &event);
  XFlush(fl_display);
}

void SendKey(Fl_Window& window, unsigned long keySymbol) {
  XEvent event{};
  XKeyEvent& key = event.xkey;
  key.type = KeyPress;
  key.display = fl_display;
  key.window = fl_xid(&window);
  key.root = RootWindow(fl_display, fl_screen);
  key.time = CurrentTime;
  key.keycode = XKeysymToKeycode(fl_display, keySymbol);
  key.same_screen = True;
  XSendEvent(fl_display, key.window, False, KeyPressMask, &event);
  key.type = KeyRelease;
  XSendEvent(fl_display, key.window, False, KeyReleaseMask, &event);
  XFlush(fl_display);
}

void RunEventLoopBriefly() {
  XSync(fl_display, False);
  for (int i = 0; i < 20; ++i) Fl::wait(0.01);
}

void MainWindowTest::SetUp() {
  previousDir_ = std::filesystem::current_path();
  dir_ = std::filesystem::temp_directory_path() /
         ("etherm_app_" + std::to_string(::getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  std::filesystem::current_path(dir_);
  window_ = std::make_unique<MainWindow>(state_);
  window_->SetFailureBox([this](const std::string& text) { failures_.push_back(text); });
  window_->SetResultView([this](const RunResult& result) { results_.push_back(result); });
}

void MainWindowTest::TearDown() {
  window_.reset();
  std::filesystem::current_path(previousDir_);
  std::filesystem::remove_all(dir_);
}

void MainWindowTest::ShowWindow() {
  window_->position(0, 0);
  window_->show();
  Settle(*window_);
}

void TypeText(Fl_Window& window, const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    // One character a key press, its UTF-8 bytes as the key's text.
    std::size_t length = 1;
    while (i + length < text.size() &&
           (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
      ++length;
    }
    std::string character = text.substr(i, length);
    Fl::e_keysym = static_cast<unsigned char>(character[0]) < 0x80 ? character[0] : 0x1000;
    Fl::e_state = 0;
    Fl::e_text = character.data();
    Fl::e_length = static_cast<int>(length);
    Fl::handle(FL_KEYBOARD, &window);
    i += length;
  }
  Fl::e_text = const_cast<char*>("");
  Fl::e_length = 0;
}

void MainWindowTest::Enter(const std::string& name) {
  window_->nameInput->value("");
  Click(*window_, *window_->nameInput);
  TypeText(*window_, name);
  Click(*window_, *window_->enterButton);
}

}  // namespace etherm
