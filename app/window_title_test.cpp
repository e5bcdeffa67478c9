#include <gtest/gtest.h>

#include <string>

#include "app/window_test_support.h"

// After the test framework: X11's macros (None, Status) would break its headers.
#include <FL/x.H>
#include <X11/Xatom.h>
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
  const Atom utf8Title = XInternAtom(fl_display, "_NET_WM_NAME", False);
  const Atom utf8IconTitle = XInternAtom(fl_display, "_NET_WM_ICON_NAME", False);
  for (const Atom property : {XA_WM_NAME, XA_WM_ICON_NAME, utf8Title, utf8IconTitle}) {
    SCOPED_TRACE(XGetAtomName(fl_display, property));
    EXPECT_EQ(TitleProperty(*window_, property), caption);
  }
}

}  // namespace
}  // namespace etherm
