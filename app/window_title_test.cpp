#include <gtest/gtest.h>

#include <string>

#include "app/window_test_support.h"

// After the test framework: X11's macros (None, Status) would break its headers.
#include <FL/x.H>
#include <X11/Xutil.h>

namespace etherm {
namespace {

// The property decoded by its declared encoding, as a window manager reads it.
std::string TitleProperty(Fl_Window& window, Atom property) {
  XTextProperty value{};
  if (XGetTextProperty(fl_display, fl_xid(&window), &value, property) == 0) return "(none)";
  char** list = nullptr;
  int count = 0;
  std::string text = "(undecodable)";
  if (Xutf8TextPropertyToTextList(fl_display, &value, &list, &count) == Success && count == 1) {
    text = list[0];
  }
  if (list != nullptr) XFreeStringList(list);
  XFree(value.value);
  return text;
}

TEST_F(MainWindowTest, EveryTitlePropertyShowsTheCaption) {
  ShowWindow();
  const std::string caption =
      "Analiza elektrotermiczna ukladów elektronicznych metodą rozdzielonych iteracji";
  for (const char* name : {"WM_NAME", "WM_ICON_NAME", "_NET_WM_NAME", "_NET_WM_ICON_NAME"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TitleProperty(*window_, XInternAtom(fl_display, name, False)), caption);
  }
}

}  // namespace
}  // namespace etherm
