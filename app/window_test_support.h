#pragma once

// Support for the window tests: each test program starts an X server of its own (Xvfb, 24-bit
// colour); reading the screen, rendering expected text, simulated input, and a fixture with a
// fresh window in a scratch folder.

#include <FL/Enumerations.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "model/analysis_state.h"

namespace etherm {

using Pixels = std::vector<unsigned char>;

// Reads an area of the shown window as RGB, after everything drawn reached the server.
Pixels ReadWindow(Fl_Window& window, int x, int y, int w, int h);

// Width and height of the text's extent in this font.
int TextWidth(const std::string& text, Fl_Font face, int size);
int TextHeight(Fl_Font face, int size);

// The text as drawn at the top-left of a w x h area filled with the background colour, made
// off screen with the window's visual.
Pixels RenderText(Fl_Window& window, const std::string& text, Fl_Font face, int size,
                  Fl_Color background, int w, int h);

// A status line with this text as it should look: the window's font and text colour on the
// window colour; and the height of its extent.
Pixels RenderStatusLine(Fl_Window& window, const std::string& text, int w, int h);
int StatusHeight();

// Pixels clearly darker than the window colour: drawn text.
int DarkPixels(const Pixels& pixels);

// Lets the window map and paint itself.
void Settle(Fl_Window& window);

// A left click as the toolkit delivers it: press and release over the widget.
void Click(Fl_Window& window, Fl_Widget& widget);

// Keys pressed for each character of the UTF-8 text, delivered to the window's focus.
void TypeText(Fl_Window& window, const std::string& text);

// A key press delivered to the window's focus, as from the keyboard.
void PressKey(Fl_Window& window, int key, int state = 0);

// A left click over the widget and a key press and release (an X key symbol), sent through the
// X server: they wait in the display connection until the event loop reads them.
void SendClick(Fl_Window& window, Fl_Widget& widget);
void SendKey(Fl_Window& window, unsigned long keySymbol);

// Runs the event loop for a while: long enough for everything the server has queued.
void RunEventLoopBriefly();

// A fresh window over a fresh state, in a scratch folder of the test's own (so analyses find
// exactly the files the test made); failures and results are collected instead of shown.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Shown at the screen's corner, so every pixel can be read back on any screen size.
  void ShowWindow();
  // Empties the edit box, clicks into it, types the name and clicks "Wprowadź".
  void Enter(const std::string& name);

  AnalysisState state_;
  std::unique_ptr<MainWindow> window_;
  std::vector<std::string> failures_;
  // What the runs left to show; the result window is not shown unless a test asks for it.
  std::vector<RunResult> results_;
  std::filesystem::path dir_;
  std::filesystem::path previousDir_;
};

}  // namespace etherm
